// The serial-device table through which "COMn" names reach device paths.
//
// Real devices are found through sysfs/udev, each with a friendly name (vendor and model) and an
// infrared flag; settings may pin a COM name to a device path; tests register a pty's slave path.
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace telvane {

struct SerialDevice {
    std::string comName;  // "COM1", "COM2", ...
    std::string path;     // "/dev/serial/by-id/usb-...", "/dev/ttyUSB0", "/dev/pts/5"
    // "Maker Model (ttyUSB0)", "Serial port (ttyS0)": vendor and model (or
    // the kind of port), then the kernel's name, which tells two ports of one modem apart.
    std::string friendlyName;
    bool infrared = false;  // ircomm
};

class SerialDeviceTable {
  public:
    // The process-wide table that SerialPort consults.
    static SerialDeviceTable& Instance();

    // Pins a COM name to a path (settings assignments, tests).  Replaces an earlier entry of that
    // name.
    void Register(const std::string& comName, const std::string& path,
                  const std::string& friendlyName = {}, bool infrared = false);
    void Unregister(const std::string& comName);

    // Rebuilds the detected part of the table: `assignments` (COM name -> path) first, then USB
    // and ACM devices, rfcomm and ircomm, then on-board ttyS ports with a known UART.  `sysRoot`
    // and `devRoot` are "/sys" and "/dev" except in tests.
    void Detect(const std::vector<std::pair<std::string, std::string>>& assignments = {},
                const std::filesystem::path& sysRoot = "/sys",
                const std::filesystem::path& devRoot = "/dev");

    std::vector<SerialDevice> Devices() const;
    // The device path for "COMn" (or the name itself when it is already a path).
    std::optional<std::string> Resolve(const std::string& name) const;

  private:
    struct Entry {
        SerialDevice device;
        bool pinned = false;  // from Register; survives Detect
    };
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace telvane
