#include "platform/serial_devices.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

namespace telvane {
namespace {

namespace fs = std::filesystem;

// A machine's sysfs and /dev in miniature: a USB modem with two ports and a by-id link, a
// CDC-ACM phone without vendor strings, Bluetooth and infrared ports, and on-board UARTs of
// which only some are fitted.
class FakeMachine {
  public:
    FakeMachine()
        : root_(fs::temp_directory_path() / ("telvane-sysfs-" + std::to_string(getpid()))),
          sys_(root_ / "sys"),
          dev_(root_ / "dev") {
        fs::remove_all(root_);
        const fs::path usb = sys_ / "devices/pci0000:00/usb1";
        Attributes(usb / "1-1", {{"idVendor", "12d1"},
                                 {"idProduct", "1001"},
                                 {"manufacturer", "HUAWEI Technology\n"},
                                 {"product", "HUAWEI Mobile\n"}});
        Tty("ttyUSB0", usb / "1-1/1-1:1.0/ttyUSB0");
        Tty("ttyUSB1", usb / "1-1/1-1:1.1/ttyUSB1");
        Tty("ttyUSB2", usb / "1-1/1-1:1.2/ttyUSB2", /*node=*/false);
        Attributes(usb / "1-2", {{"idVendor", "1546"}, {"idProduct", "01a8"}});
        Tty("ttyACM0", usb / "1-2/1-2:1.0");
        Tty("rfcomm0", {});
        Tty("ircomm0", {});
        const fs::path uart = sys_ / "devices/platform/serial8250";
        fs::create_directories(uart);
        Tty("ttyS0", uart, true, "4\n");
        Tty("ttyS1", uart, true, "0\n");
        Tty("ttyS10", uart, true, "4\n");
        Tty("ttyS2", uart);  // no type: not a fitted UART either
        Tty("tty0", {});
        Tty("ptmx", {});
        fs::create_directories(dev_ / "serial/by-id");
        fs::create_symlink("../../ttyUSB0", dev_ / "serial/by-id/usb-HUAWEI_Mobile-if00-port0");
    }
    ~FakeMachine() { fs::remove_all(root_); }

    const fs::path& Sys() const { return sys_; }
    const fs::path& Dev() const { return dev_; }
    std::string Node(const std::string& name) const { return (dev_ / name).string(); }

    void Unplug(const std::string& name) {
        fs::remove_all(sys_ / "class/tty" / name);
        fs::remove(dev_ / name);
    }

  private:
    static void Write(const fs::path& file, const std::string& text) {
        std::ofstream(file) << text;
    }
    static void Attributes(const fs::path& dir,
                           std::initializer_list<std::pair<const char*, const char*>> values) {
        fs::create_directories(dir);
        for (const auto& [name, value] : values)
            Write(dir / name, value);
    }
    void Tty(const std::string& name, const fs::path& device, bool node = true,
             const std::string& type = {}) {
        const fs::path classDir = sys_ / "class/tty" / name;
        fs::create_directories(classDir);
        if (!device.empty()) {
            fs::create_directories(device);
            fs::create_directory_symlink(device, classDir / "device");
        }
        if (!type.empty()) Write(classDir / "type", type);
        if (node) {
            fs::create_directories(dev_);
            Write(dev_ / name, "");
        }
    }

    fs::path root_;
    fs::path sys_;
    fs::path dev_;
};

struct Expected {
    std::string comName;
    std::string path;
    std::string friendlyName;
    bool infrared;
};

void ExpectDevices(const SerialDeviceTable& table, const std::vector<Expected>& expected) {
    const std::vector<SerialDevice> devices = table.Devices();
    ASSERT_EQ(devices.size(), expected.size());
    for (size_t i = 0; i < devices.size(); ++i) {
        SCOPED_TRACE(expected[i].comName);
        EXPECT_EQ(devices[i].comName, expected[i].comName);
        EXPECT_EQ(devices[i].path, expected[i].path);
        EXPECT_EQ(devices[i].friendlyName, expected[i].friendlyName);
        EXPECT_EQ(devices[i].infrared, expected[i].infrared);
    }
}

TEST(SerialDeviceTable, DetectsInOrderAfterTheAssignments) {
    FakeMachine machine;
    SerialDeviceTable table;
    table.Detect({{"COM3", machine.Node("ttyACM0")}, {"COM9:", "/dev/rfcomm7"}, {"LPT1", "/x"}},
                 machine.Sys(), machine.Dev());

    const std::string huawei = "HUAWEI Technology HUAWEI Mobile";
    ExpectDevices(
        table, {
                   {"COM1", (machine.Dev() / "serial/by-id/usb-HUAWEI_Mobile-if00-port0").string(),
                    huawei + " (ttyUSB0)", false},
                   {"COM2", machine.Node("ttyUSB1"), huawei + " (ttyUSB1)", false},
                   {"COM3", machine.Node("ttyACM0"), "USB 1546:01a8 (ttyACM0)", false},
                   {"COM4", machine.Node("rfcomm0"), "Bluetooth serial (rfcomm0)", false},
                   {"COM5", machine.Node("ircomm0"), "Infrared serial (ircomm0)", true},
                   {"COM6", machine.Node("ttyS0"), "Serial port (ttyS0)", false},
                   {"COM7", machine.Node("ttyS10"), "Serial port (ttyS10)", false},
                   {"COM9", "/dev/rfcomm7", "/dev/rfcomm7", false},
               });

    EXPECT_EQ(table.Resolve("COM3"), machine.Node("ttyACM0"));
    EXPECT_EQ(table.Resolve("com2:"), machine.Node("ttyUSB1"));
    EXPECT_EQ(table.Resolve("/dev/ttyUSB7"), "/dev/ttyUSB7");
    EXPECT_EQ(table.Resolve("COM8"), std::nullopt);
    EXPECT_EQ(table.Resolve("COM"), std::nullopt);
    EXPECT_EQ(table.Resolve("ttyUSB0"), std::nullopt);

    // A device that went away leaves the table at the next detection; the others keep order.
    machine.Unplug("ttyUSB1");
    table.Detect({}, machine.Sys(), machine.Dev());
    const std::vector<SerialDevice> devices = table.Devices();
    ASSERT_EQ(devices.size(), 6u);
    EXPECT_EQ(devices[1].path, machine.Node("ttyACM0"));
    EXPECT_EQ(devices[1].comName, "COM2");
}

TEST(SerialDeviceTable, RegisteredNamesOutliveDetection) {
    FakeMachine machine;
    SerialDeviceTable table;
    table.Register("COM1", "/dev/pts/7");
    table.Register("COM2", machine.Node("ttyUSB1"), "my modem");
    table.Register("COM2", machine.Node("ttyS0"), "", false);  // replaces
    table.Detect({{"COM1", machine.Node("ttyACM0")}}, machine.Sys(), machine.Dev());

    const std::vector<SerialDevice> devices = table.Devices();
    ASSERT_GE(devices.size(), 4u);
    EXPECT_EQ(devices[0].comName, "COM1");
    EXPECT_EQ(devices[0].path, "/dev/pts/7");  // the registration beats the assignment
    EXPECT_EQ(devices[1].comName, "COM2");
    EXPECT_EQ(devices[1].path, machine.Node("ttyS0"));
    // Detection fills the free names and does not list a registered device twice.
    EXPECT_EQ(devices[2].comName, "COM3");
    EXPECT_NE(devices[2].path.find("by-id"), std::string::npos);
    EXPECT_EQ(devices[3].path, machine.Node("ttyUSB1"));
    for (const SerialDevice& d : devices) {
        if (d.comName != "COM2") {
            EXPECT_NE(d.path, machine.Node("ttyS0")) << d.comName;
        }
    }

    table.Unregister("COM1:");
    EXPECT_EQ(table.Resolve("COM1"), std::nullopt);
    table.Detect({}, fs::path("/nonexistent/sys"), fs::path("/nonexistent/dev"));
    ASSERT_EQ(table.Devices().size(), 1u);
    EXPECT_EQ(table.Resolve("COM2"), machine.Node("ttyS0"));
}

}  // namespace
}  // namespace telvane
