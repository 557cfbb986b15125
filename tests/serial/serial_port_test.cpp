#include "serial/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <iomanip>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "modemsim/simulated_modem.h"
#include "platform/port_holder.h"
#include "platform/serial_devices.h"
#include "platform/uucp_lock.h"
#include "serial/open_failure.h"
#include "support/holder_process.h"
#include "support/wait.h"

namespace telvane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Bounds a hang only; every wait ends on the condition it waits for.
constexpr auto kCeiling = 20s;

// False when `work` has not ended by the ceiling (reported at once; the test then waits for it).
template <typename Work>
bool EndsWithinCeiling(Work work) {
    auto done = std::async(std::launch::async, work);
    return done.wait_for(kCeiling) == std::future_status::ready;
}

// What the port handed to its receive handler.  The handler is a plain function, so the test's
// sink is reached through a global.
struct Sink {
    std::mutex mutex;
    std::condition_variable changed;
    std::string bytes;
    std::vector<uint32_t> counts;
    std::chrono::milliseconds delay{0};

    template <typename Predicate>
    bool WaitFor(Predicate done, std::chrono::milliseconds limit = kCeiling) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, limit, [&] { return done(*this); });
    }
    std::vector<uint32_t> Counts() {
        std::lock_guard lock(mutex);
        return counts;
    }
    std::string Bytes() {
        std::lock_guard lock(mutex);
        return bytes;
    }
    // The reader thread may already be delivering: the delay changes under the lock.
    void SetDelay(std::chrono::milliseconds value) {
        std::lock_guard lock(mutex);
        delay = value;
    }
};

Sink* g_sink = nullptr;

void Collect(const uint8_t* data, uint32_t count) {
    std::chrono::milliseconds delay;
    {
        std::lock_guard lock(g_sink->mutex);
        g_sink->bytes.append(reinterpret_cast<const char*>(data), count);
        g_sink->counts.push_back(count);
        delay = g_sink->delay;
    }
    g_sink->changed.notify_all();
    std::this_thread::sleep_for(delay);
}

std::string Pattern(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random() & 0xFF);
    return bytes;
}

// A pseudo-terminal pair: the port opens the slave, the test plays the modem on the master.
class Pty {
  public:
    Pty() {
        char name[128] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
            ADD_FAILURE() << "openpty failed: " << errno;
            return;
        }
        slavePath_ = name;
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() {
        CloseMaster();
        if (slave_ >= 0) close(slave_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int Slave() const { return slave_; }

    void CloseMaster() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

    void Send(const std::string& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            ssize_t n = write(master_, bytes.data() + sent, bytes.size() - sent);
            if (n > 0) {
                sent += static_cast<size_t>(n);
            } else {
                pollfd fd{master_, POLLOUT, 0};
                ASSERT_GE(poll(&fd, 1, 5000), 1) << "the port stopped reading";
            }
        }
    }

    // Everything the port wrote until `size` bytes came or nothing more came for `quiet`.
    std::string Receive(size_t size, std::chrono::milliseconds quiet = kCeiling) {
        std::string bytes;
        char buffer[4096];
        while (bytes.size() < size) {
            pollfd fd{master_, POLLIN, 0};
            if (poll(&fd, 1, static_cast<int>(quiet.count())) <= 0) break;
            ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0) break;
            bytes.append(buffer, static_cast<size_t>(n));
        }
        return bytes;
    }

    // Reads the line from the port's side, as a closed port would have left it, until `text`
    // came (or the ceiling passed): what arrived.
    std::string ReadAtPortSide(const std::string& text) {
        std::string bytes;
        char buffer[256];
        const auto limit = Clock::now() + kCeiling;
        while (bytes.find(text) == std::string::npos && Clock::now() < limit) {
            pollfd fd{slave_, POLLIN, 0};
            if (poll(&fd, 1, 100) <= 0) continue;
            const ssize_t n = read(slave_, buffer, sizeof buffer);
            if (n > 0) bytes.append(buffer, static_cast<size_t>(n));
        }
        return bytes;
    }

    // Fills the line from the port's side until the kernel takes no more, so that the port's
    // next write has to wait.  Returns how many bytes that took.
    size_t FillOutput() {
        int flags = fcntl(slave_, F_GETFL);
        fcntl(slave_, F_SETFL, flags | O_NONBLOCK);
        const std::string block(4096, 'f');
        size_t total = 0;
        // The kernel moves bytes on between its buffers a moment later, making room again: fill
        // until a pause frees nothing more.
        for (bool more = true; more;) {
            more = false;
            for (ssize_t n; (n = write(slave_, block.data(), block.size())) > 0;) {
                total += static_cast<size_t>(n);
                more = true;
            }
            std::this_thread::sleep_for(20ms);
        }
        fcntl(slave_, F_SETFL, flags);
        return total;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

class SerialPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_sink = &sink_;
        // The port's lock files go to a folder of the test's own.
        std::string pattern =
            std::filesystem::temp_directory_path() / "telvane-serial-locks-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        locks_ = pattern;
        SetLockFolders({locks_});
    }
    void TearDown() override {
        SerialDeviceTable::Instance().Unregister("COM2");
        SetLockFolders({});
        SetSerialLinksRoot({});
        std::filesystem::remove_all(locks_);
    }

    std::unique_ptr<SerialPort> OpenOnPty() {
        auto port = std::make_unique<SerialPort>(pty_.SlavePath());
        EXPECT_TRUE(port->IsOpen()) << port->OpenError();
        port->SetReceiveHandler(Collect);
        return port;
    }

    int32_t Write(SerialPort& port, const std::string& bytes) {
        return port.Write(reinterpret_cast<const uint8_t*>(bytes.data()),
                          static_cast<int32_t>(bytes.size()));
    }

    // Write retried until the port accepts it (the previous write has finished).
    bool WriteWhenIdle(SerialPort& port, const std::string& bytes) {
        const auto limit = Clock::now() + kCeiling;
        while (Clock::now() < limit) {
            if (Write(port, bytes) > 0) return true;
            std::this_thread::sleep_for(2ms);
        }
        return false;
    }

    Sink sink_;
    Pty pty_;
    std::filesystem::path locks_;
};

TEST_F(SerialPortTest, OpensByComNameOrPathAndPassesEveryByteUnchanged) {
    SerialDeviceTable::Instance().Register("COM2", pty_.SlavePath());
    // Bytes a cooked line would eat or rewrite: NUL, XON/XOFF, CR, Ctrl-C, DEL, bit 7.
    const std::string raw("AT\r\n\x00\x11\x13\r\x03\x7f\xff\x80\x1a", 13);
    for (const std::string name : {"COM2", "COM2:", "com2", pty_.SlavePath().c_str()}) {
        SCOPED_TRACE(name);
        {
            std::lock_guard lock(sink_.mutex);
            sink_.bytes.clear();
        }
        SerialPort port(name);
        ASSERT_TRUE(port.IsOpen()) << port.OpenError();
        EXPECT_EQ(port.OpenError(), "");
        port.SetReceiveHandler(Collect);

        termios line{};
        ASSERT_EQ(tcgetattr(pty_.Slave(), &line), 0);
        EXPECT_EQ(cfgetospeed(&line), B115200);
        EXPECT_EQ(cfgetispeed(&line), B115200);
        EXPECT_EQ(line.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(line.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
        EXPECT_EQ(line.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
        EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL), 0u);
        EXPECT_EQ(line.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(line.c_oflag & OPOST, 0u);

        EXPECT_EQ(Write(port, raw), static_cast<int32_t>(raw.size()));
        EXPECT_EQ(pty_.Receive(raw.size()), raw);
        pty_.Send(raw);
        EXPECT_TRUE(sink_.WaitFor([&](Sink& s) { return s.bytes.size() >= raw.size(); }));
        EXPECT_EQ(sink_.Bytes(), raw);
    }
}

TEST_F(SerialPortTest, BurstsArriveWholeInOrderAndBoundedPerBatch) {
    auto port = OpenOnPty();
    sink_.SetDelay(3ms);  // a slow owner: the line keeps filling while it works
    const std::string data = Pattern(300000, 7);
    std::mt19937 random(11);
    size_t sent = 0;
    while (sent < data.size()) {
        size_t chunk = std::min<size_t>(data.size() - sent, 1 + random() % 9000);
        pty_.Send(data.substr(sent, chunk));
        sent += chunk;
    }
    ASSERT_TRUE(sink_.WaitFor([&](Sink& s) { return s.bytes.size() >= data.size(); }));
    port->Close();
    EXPECT_TRUE(sink_.Bytes() == data) << "bytes lost, duplicated or reordered";
    for (uint32_t count : sink_.Counts()) {
        EXPECT_GT(count, 0u);
        EXPECT_LE(count, SerialPort::kBufferSize);
    }
}

TEST_F(SerialPortTest, CloseEndsTheWaitingReaderWithoutAnyDelivery) {
    auto port = OpenOnPty();
    pty_.Send("x");
    ASSERT_TRUE(sink_.WaitFor([](Sink& s) { return !s.counts.empty(); }));  // back in poll()
    EXPECT_TRUE(EndsWithinCeiling([&port] { port->Close(); }));
    EXPECT_FALSE(port->IsOpen());
    port->Close();  // twice is harmless
    pty_.Send("\r\nRING\r\n");
    // The line still holds what came after the close: nobody took it.
    EXPECT_EQ(pty_.ReadAtPortSide("RING"), "\r\nRING\r\n");
    EXPECT_EQ(sink_.Bytes(), "x");
    EXPECT_EQ(Write(*port, "AT\r"), 0) << "a closed port accepted a write";
}

TEST_F(SerialPortTest, CloseDuringADeliveryWaitsForItAndStopsFurtherOnes) {
    auto port = OpenOnPty();
    sink_.SetDelay(200ms);
    pty_.Send("first");
    ASSERT_TRUE(sink_.WaitFor([](Sink& s) { return !s.counts.empty(); }));
    pty_.Send("second");
    port->Close();  // while the handler still sleeps on "first"
    pty_.Send("third");
    EXPECT_NE(pty_.ReadAtPortSide("third").find("third"), std::string::npos);
    EXPECT_EQ(sink_.Bytes(), "first");
}

SerialPort* g_closedByHandler = nullptr;
std::atomic<bool> g_handlerClosed{false};

void CollectAndClose(const uint8_t* data, uint32_t count) {
    Collect(data, count);
    g_closedByHandler->Close();
    g_handlerClosed = true;
}

TEST_F(SerialPortTest, HandlerThatClosesItsPortStopsItWithoutHanging) {
    auto port = OpenOnPty();
    g_closedByHandler = port.get();
    g_handlerClosed = false;
    port->SetReceiveHandler(CollectAndClose);
    pty_.Send("first");
    // Close flushes the line: what is sent before it has returned may be dropped, not kept.
    ASSERT_TRUE(telvane::testing::WaitUntil([] { return g_handlerClosed.load(); }));
    pty_.Send("second");
    // Closed from its own handler, the port reads nothing more: "second" stays on the line.
    EXPECT_EQ(pty_.ReadAtPortSide("second"), "second");
    EXPECT_EQ(sink_.Bytes(), "first");
    EXPECT_EQ(Write(*port, "AT\r"), 0);
    EXPECT_TRUE(EndsWithinCeiling([&port] { port->Close(); }));
    EXPECT_FALSE(port->IsOpen());
}

TEST_F(SerialPortTest, SecondWriteIsRefusedWhileTheFirstWaitsForTheLine) {
    auto port = OpenOnPty();
    const size_t filled = pty_.FillOutput();
    const std::string first = Pattern(1000, 3);
    ASSERT_EQ(Write(*port, first), 1000);
    EXPECT_EQ(Write(*port, "AT\r"), 0);

    // Once the modem side reads, the first write completes and the port takes writes again.
    const std::string line = pty_.Receive(filled + first.size());
    ASSERT_EQ(line.size(), filled + first.size());
    EXPECT_EQ(line.substr(filled), first);
    ASSERT_TRUE(WriteWhenIdle(*port, "AT\r"));
    EXPECT_EQ(pty_.Receive(3), "AT\r");
}

TEST_F(SerialPortTest, CloseCutsShortAWriteThatWaitsForTheLine) {
    auto port = OpenOnPty();
    pty_.FillOutput();
    ASSERT_EQ(Write(*port, Pattern(SerialPort::kBufferSize, 5)),
              static_cast<int32_t>(SerialPort::kBufferSize));
    // The write's own time limit would be minutes.
    EXPECT_TRUE(EndsWithinCeiling([&port] { port->Close(); }));
}

TEST_F(SerialPortTest, WakeWithNothingLeftToReadIsNoLossOfTheLink) {
    auto port = OpenOnPty();
    // A second reader on the line races the port for each byte: whenever it wins, the port
    // wakes up to find nothing.
    std::atomic<bool> done{false};
    std::atomic<int> stolen{0};
    std::thread thief([&] {
        fcntl(pty_.Slave(), F_SETFL, fcntl(pty_.Slave(), F_GETFL) | O_NONBLOCK);
        while (!done.load()) {
            pollfd fd{pty_.Slave(), POLLIN, 0};
            char c;
            if (poll(&fd, 1, 10) > 0 && read(pty_.Slave(), &c, 1) == 1) ++stolen;
        }
    });
    for (int i = 0; i < 400; ++i) {
        pty_.Send("x");
        std::this_thread::sleep_for(1ms);
    }
    done.store(true);
    thief.join();
    pty_.Send("END");
    EXPECT_TRUE(sink_.WaitFor([](Sink& s) { return s.bytes.ends_with("END"); }));
    const std::vector<uint32_t> counts = sink_.Counts();
    EXPECT_EQ(std::count(counts.begin(), counts.end(), 0u), 0);
}

TEST_F(SerialPortTest, WriteTakesAtMostOneBufferAndRefusesNothingToWrite) {
    auto port = OpenOnPty();
    const std::string data = Pattern(20000, 9);
    ASSERT_EQ(Write(*port, data), static_cast<int32_t>(SerialPort::kBufferSize));
    const std::string line = pty_.Receive(SerialPort::kBufferSize);
    EXPECT_TRUE(line == data.substr(0, SerialPort::kBufferSize));
    // The next write marks the end of the first one: its byte comes right behind the buffer.
    ASSERT_TRUE(WriteWhenIdle(*port, "x"));
    EXPECT_EQ(pty_.Receive(1), "x");
    EXPECT_TRUE(WriteWhenIdle(*port, "y"));
    EXPECT_EQ(port->Write(reinterpret_cast<const uint8_t*>("z"), 0), 0);
    EXPECT_EQ(port->Write(reinterpret_cast<const uint8_t*>("z"), -5), 0);
    EXPECT_EQ(port->Write(nullptr, 5), 0);
}

TEST_F(SerialPortTest, HangUpIsReportedOnceAsZeroCount) {
    auto port = OpenOnPty();
    pty_.Send("OK");
    ASSERT_TRUE(sink_.WaitFor([](Sink& s) { return !s.counts.empty(); }));
    pty_.CloseMaster();
    ASSERT_TRUE(sink_.WaitFor([](Sink& s) { return s.counts.back() == 0; }));
    EXPECT_TRUE(port->IsOpen());  // the owner closes it
    port->Close();                // joins the reader: nothing can be delivered after this
    EXPECT_FALSE(port->IsOpen());
    const std::vector<uint32_t> counts = sink_.Counts();
    EXPECT_EQ(std::count(counts.begin(), counts.end(), 0u), 1);
    EXPECT_EQ(counts.back(), 0u);
    EXPECT_EQ(sink_.Bytes(), "OK");
}

TEST_F(SerialPortTest, OpenFailuresSayWhy) {
    namespace fs = std::filesystem;
    const fs::path file =
        fs::temp_directory_path() / ("telvane-serial-" + std::to_string(getpid()));
    {
        std::FILE* f = std::fopen(file.c_str(), "w");
        std::fclose(f);
    }

    SerialPort holder(pty_.SlavePath());
    ASSERT_TRUE(holder.IsOpen()) << holder.OpenError();
    struct Case {
        std::string name;
        std::string error;
    } cases[] = {
        {"/dev/telvane-no-such-tty", "no such device /dev/telvane-no-such-tty"},
        {"COM9", "no such device COM9"},
        {"modem", "no such device modem"},
        {file.string(), "cannot configure " + file.string() + ": not a serial device"},
        // Its own lock names this process.
        {pty_.SlavePath(), "the port " + pty_.SlavePath() + " is in use by " +
                               ProcessName(getpid()) + " (pid " + std::to_string(getpid()) + ")"},
    };
    for (const Case& c : cases) {
        SerialPort port(c.name);
        EXPECT_FALSE(port.IsOpen()) << c.name;
        EXPECT_EQ(port.OpenError(), c.error);
        EXPECT_EQ(Write(port, "AT\r"), 0) << c.name;
    }

    // The port is free again once its holder closed it.
    holder.Close();
    SerialPort again(pty_.SlavePath());
    EXPECT_TRUE(again.IsOpen()) << again.OpenError();
    fs::remove(file);
}

// Another program on the line: named, and the port left to it; a lock of its own while open.
TEST_F(SerialPortTest, AHeldPortIsRefusedWithItsHolderAndAnOpenPortIsLocked) {
    namespace fs = std::filesystem;
    const fs::path lockFile = locks_ / LockFileName(pty_.SlavePath());

    {
        testing::HolderProcess holder(pty_.SlavePath());
        ASSERT_TRUE(testing::WaitUntil([&] {
            const std::optional<PortHolder> found = FindPortHolder(pty_.SlavePath(), {});
            return found && found->name == "sleep";
        }));
        SerialPort port(pty_.SlavePath());
        EXPECT_FALSE(port.IsOpen());
        EXPECT_EQ(port.OpenError(), "the port " + pty_.SlavePath() + " is in use by sleep (pid " +
                                        std::to_string(holder.Pid()) + ")");
        EXPECT_FALSE(fs::exists(lockFile));
    }
    {
        // A lock left by a process that is gone is taken over.
        testing::HolderProcess gone;
        const int stalePid = gone.Pid();
        gone.End();
        std::ofstream(lockFile) << std::setw(10) << stalePid << "\n";
        SerialPort port(pty_.SlavePath());
        ASSERT_TRUE(port.IsOpen()) << port.OpenError();
        std::ifstream in(lockFile);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        char expected[16];
        std::snprintf(expected, sizeof expected, "%10d\n", static_cast<int>(getpid()));
        EXPECT_EQ(text, expected);
        port.Close();
        EXPECT_FALSE(fs::exists(lockFile));
    }
}

// A port opened by a link, as /dev/serial/by-id names one: the lock is named after the node the
// link leads to, as other programs name it, and a lock under any name of the device, the node's
// or a stable one, keeps the port shut by every name.
TEST_F(SerialPortTest, ALinkIsLockedUnderItsNodesName) {
    namespace fs = std::filesystem;
    modemsim::SimulatedModem modem(modemsim::Scenario{});
    const std::string node = modem.Start();
    ASSERT_FALSE(node.empty()) << modem.Error();
    SetSerialLinksRoot(locks_);
    fs::create_directory(locks_ / "by-id");
    fs::create_directory(locks_ / "by-path");
    const fs::path link = locks_ / "by-id" / "usb-Telvane_GSM_Modem_0001-if00";
    const fs::path pathLink = locks_ / "by-path" / "pci-0000:00:14.0-usb-0:2:1.0-port0";
    fs::create_symlink(node, link);
    fs::create_symlink(node, pathLink);
    // Another device's stable name: its lock is not ours.
    const fs::path otherLink = locks_ / "by-id" / "usb-Other_Modem_0002-if00";
    fs::create_symlink(pty_.SlavePath(), otherLink);
    const fs::path nodeLock = locks_ / LockFileName(node);
    const fs::path linkLock = locks_ / LockFileName(link.string());

    {
        SerialPort port(link.string());
        ASSERT_TRUE(port.IsOpen()) << port.OpenError();
        char expected[16];
        std::snprintf(expected, sizeof expected, "%10d\n", static_cast<int>(getpid()));
        std::ifstream in(nodeLock);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), expected);
        EXPECT_FALSE(fs::exists(linkLock));
        // A second opener by the node's own path meets that lock.
        SerialPort second(node);
        EXPECT_FALSE(second.IsOpen());
        EXPECT_EQ(second.OpenError(), "the port " + node + " is in use by " +
                                          ProcessName(getpid()) + " (pid " +
                                          std::to_string(getpid()) + ")");
    }
    EXPECT_FALSE(fs::exists(nodeLock));

    testing::HolderProcess owner;
    // The spawner may run on before the child's exec has renamed it.
    ASSERT_TRUE(testing::WaitUntil([&] { return ProcessName(owner.Pid()) == "sleep"; }));
    const std::string names[] = {node, link.string(), pathLink.string()};
    // Taken by a program that named the device by its node, by-id or by-path.
    for (const fs::path& lockFile :
         {nodeLock, linkLock, locks_ / LockFileName(pathLink.string())}) {
        SCOPED_TRACE(lockFile.filename().string());
        std::ofstream(lockFile) << std::setw(10) << owner.Pid() << "\n";
        for (const std::string& name : names) {
            SerialPort port(name);
            EXPECT_FALSE(port.IsOpen()) << name;
            EXPECT_EQ(port.OpenError(), "the port " + name + " is in use by sleep (pid " +
                                            std::to_string(owner.Pid()) + ")");
        }
        fs::remove(lockFile);
    }
    // Nothing reached the modem while it was locked.
    EXPECT_TRUE(modem.Commands().empty());

    std::ofstream(locks_ / LockFileName(otherLink.string()))
        << std::setw(10) << owner.Pid() << "\n";
    SerialPort port(node);
    EXPECT_TRUE(port.IsOpen()) << port.OpenError();
}

TEST_F(SerialPortTest, PermissionDeniedNamesTheDialoutGroup) {
    if (geteuid() == 0) GTEST_SKIP() << "root opens any file";
    namespace fs = std::filesystem;
    const fs::path file =
        fs::temp_directory_path() / ("telvane-locked-" + std::to_string(getpid()));
    {
        std::FILE* f = std::fopen(file.c_str(), "w");
        std::fclose(f);
    }
    fs::permissions(file, fs::perms::none);
    SerialPort port(file.string());
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.OpenError(),
              "permission denied on " + file.string() + ": the user must be in the dialout group");
    fs::remove(file);
}

TEST(OpenFailureText, NamesTheCauseAndTheRemedy) {
    const std::string dev = "/dev/ttyUSB0";
    EXPECT_EQ(DescribeOpenFailure(dev, ENOENT), "no such device /dev/ttyUSB0");
    EXPECT_EQ(DescribeOpenFailure(dev, ENXIO), "no such device /dev/ttyUSB0");
    EXPECT_EQ(DescribeOpenFailure(dev, EACCES),
              "permission denied on /dev/ttyUSB0: the user must be in the dialout group");
    EXPECT_EQ(DescribeOpenFailure(dev, EBUSY),
              "device /dev/ttyUSB0 is busy: a program of another user or of the system holds it");
    EXPECT_EQ(DescribeOpenFailure(dev, EIO), "cannot open /dev/ttyUSB0: Input/output error");
    EXPECT_EQ(DescribeConfigureFailure(dev, "applying the line settings", EINVAL),
              "cannot configure /dev/ttyUSB0: applying the line settings: Invalid argument");
}

}  // namespace
}  // namespace telvane
