#include "serial/serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "platform/port_holder.h"
#include "platform/serial_devices.h"
#include "platform/uucp_lock.h"
#include "serial/open_failure.h"

namespace telvane {
namespace {

class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_.exchange(-1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(other.fd_.exchange(-1));
        return *this;
    }

    int Get() const { return fd_.load(); }
    bool Valid() const { return fd_.load() >= 0; }
    void Reset(int fd = -1) {
        int old = fd_.exchange(fd);
        // close() is not retried on EINTR: on Linux the descriptor is gone either way.
        if (old >= 0) ::close(old);
    }

  private:
    // Atomic so that IsOpen may be asked from any thread.
    std::atomic<int> fd_{-1};
};

template <typename Call>
auto RetryOnEintr(Call call) {
    for (;;) {
        auto result = call();
        if (result >= 0 || errno != EINTR) return result;
    }
}

speed_t SpeedCode(uint32_t baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        default:
            return B115200;
    }
}

struct ConfigureResult {
    bool ok = true;
    std::string step;
    int error = 0;
};

ConfigureResult Fail(std::string step, int error) {
    return {false, std::move(step), error};
}

// Raw 8N1 at `baud`, receiver on, modem-status lines ignored, no flow control of either kind.
ConfigureResult ConfigureLine(int fd, uint32_t baud) {
    termios settings{};
    if (tcgetattr(fd, &settings) != 0) return Fail("reading the line settings", errno);
    cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    const speed_t speed = SpeedCode(baud);
    cfsetispeed(&settings, speed);
    cfsetospeed(&settings, speed);
    if (RetryOnEintr([&] { return tcsetattr(fd, TCSANOW, &settings); }) != 0)
        return Fail("applying the line settings", errno);

    // tcsetattr succeeds when any one change took, so the result is read back.
    termios actual{};
    if (tcgetattr(fd, &actual) != 0) return Fail("reading the line settings", errno);
    const tcflag_t cflagMask = CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD;
    const tcflag_t iflagMask = IXON | IXOFF | IXANY;
    const tcflag_t lflagMask = ICANON | ECHO | ISIG | IEXTEN;
    if ((actual.c_cflag & cflagMask) != (settings.c_cflag & cflagMask) ||
        (actual.c_iflag & iflagMask) != 0 || (actual.c_lflag & lflagMask) != 0 ||
        cfgetospeed(&actual) != speed ||
        // B0 as input speed means "as the output".
        (cfgetispeed(&actual) != speed && cfgetispeed(&actual) != B0)) {
        return Fail("the device refused " + std::to_string(baud) + " baud 8N1 without flow control",
                    0);
    }

    // A pseudo-terminal has no modem lines; that is no reason to refuse it.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd, TIOCMBIS, &lines) != 0 && errno != ENOTTY && errno != EINVAL)
        return Fail("raising DTR and RTS", errno);
    return {};
}

int MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<int64_t>(0, left.count()));
}

}  // namespace

struct SerialPort::Impl {
    std::atomic<int> stopping{0};
    uint32_t baudRate = 115200;
    std::mutex lock;  // receiveBuffer and receiveHandler
    ReceiveHandler receiveHandler = nullptr;
    // Held while the handler runs, so that Close can wait for a delivery in progress; none starts
    // once `stopping` is set, a zero-length one included.
    std::mutex deliveryLock;
    std::thread readerThread;
    std::mutex writeLock;  // makes the busy check and the start of a writer one step
    std::thread writerThread;
    std::atomic<bool> writing{false};
    UniqueFd device;
    UniqueFd wake;  // eventfd; once signalled it stays readable, waking reader and writer alike
    UucpLock uucpLock;
    int32_t writeLength = 0;
    std::string openError;
    uint8_t writeBuffer[kBufferSize];
    uint8_t receiveBuffer[kBufferSize];

    void ReaderLoop();
    void WriterRun();
    // Reads what is buffered, at most kBufferSize bytes.  `gone` is set when the device reported
    // an error or end of file.
    uint32_t ReadBatch(bool& gone);
    // Passes a batch on; false when Close has begun.
    bool Deliver(uint32_t count);
};

uint32_t SerialPort::Impl::ReadBatch(bool& gone) {
    std::lock_guard guard(lock);
    uint32_t count = 0;
    const int fd = device.Get();
    while (count < kBufferSize && stopping.load() == 0) {
        ssize_t n =
            RetryOnEintr([&] { return ::read(fd, receiveBuffer + count, kBufferSize - count); });
        if (n > 0) {
            count += static_cast<uint32_t>(n);
            continue;
        }
        // 0 is end of file (a hung-up terminal); a pty whose master closed gives EIO.
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) gone = true;
        break;
    }
    return count;
}

bool SerialPort::Impl::Deliver(uint32_t count) {
    std::lock_guard delivering(deliveryLock);
    if (stopping.load() != 0) return false;
    ReceiveHandler handler;
    {
        std::lock_guard guard(lock);
        handler = receiveHandler;
    }
    if (handler != nullptr) handler(receiveBuffer, count);
    return true;
}

void SerialPort::Impl::ReaderLoop() {
    while (stopping.load() == 0) {
        pollfd fds[2] = {{device.Get(), POLLIN, 0}, {wake.Get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            Deliver(0);
            return;
        }
        if (stopping.load() != 0 || fds[1].revents != 0) return;
        const short events = fds[0].revents;
        if (events == 0) continue;
        bool gone = (events & POLLNVAL) != 0;
        const uint32_t count = gone ? 0 : ReadBatch(gone);
        if (count > 0) {
            // Anything left beyond this batch (or a hang-up behind it) shows at the next poll.
            if (!Deliver(count)) return;
            continue;
        }
        if (gone || (events & (POLLHUP | POLLERR)) != 0) {
            Deliver(0);
            return;
        }
        // A wake with nothing to read is no loss of the link.
    }
}

void SerialPort::Impl::WriterRun() {
    const int fd = device.Get();
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(10) * writeLength +
                          std::chrono::milliseconds(100);
    int32_t sent = 0;
    while (sent < writeLength && stopping.load() == 0) {
        ssize_t n =
            RetryOnEintr([&] { return ::write(fd, writeBuffer + sent, writeLength - sent); });
        if (n > 0) {
            sent += static_cast<int32_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) break;
        const int left = MillisecondsUntil(deadline);
        if (left == 0) break;
        pollfd fds[2] = {{fd, POLLOUT, 0}, {wake.Get(), POLLIN, 0}};
        int ready = RetryOnEintr([&] { return ::poll(fds, 2, left); });
        if (ready <= 0 || fds[1].revents != 0) break;
        if ((fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) break;
    }
    writing.store(false);
}

SerialPort::SerialPort(const std::string& name) : impl_(new Impl) {
    Open(name);
}

SerialPort::~SerialPort() {
    Close();
    delete impl_;
}

int SerialPort::Open(const std::string& name) {
    Impl& p = *impl_;
    Close();
    p.openError.clear();
    p.stopping.store(0);

    const std::optional<std::string> path = SerialDeviceTable::Instance().Resolve(name);
    if (!path) {
        p.openError = "no such device " + name;
        return 0;
    }
    // Asked before the open, so that nothing of ours reaches a line another program talks on.
    if (const std::optional<PortHolder> holder = FindPortHolder(*path, LockFolders())) {
        p.openError = DescribeHolder(*path, *holder);
        return 0;
    }
    // Named after the device node, as the other programs that honour these locks name it.
    std::error_code noNode;
    const std::filesystem::path node = std::filesystem::canonical(*path, noNode);
    int lockOwner = 0;
    if (p.uucpLock.Acquire(noNode ? *path : node.string(), &lockOwner) == UucpLock::Result::kHeld) {
        p.openError = DescribeHolder(*path, PortHolder{lockOwner, ProcessName(lockOwner)});
        return 0;
    }
    // Non-blocking, so that the open does not wait for carrier and no read or write can hang.
    UniqueFd fd(RetryOnEintr(
        [&] { return ::open(path->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }));
    if (!fd.Valid()) {
        p.openError = DescribeOpenFailure(*path, errno);
        p.uucpLock.Release();
        return 0;
    }
    // TIOCEXCL keeps out later openers (root excepted); the lock also stops cooperating programs
    // and a second copy of this one, whoever runs it.
    if (RetryOnEintr([&] { return ::flock(fd.Get(), LOCK_EX | LOCK_NB); }) != 0 &&
        errno == EWOULDBLOCK) {
        p.openError = DescribeOpenFailure(*path, EBUSY);
        p.uucpLock.Release();
        return 0;
    }
    if (ioctl(fd.Get(), TIOCEXCL) != 0 && errno == EBUSY) {
        p.openError = DescribeOpenFailure(*path, EBUSY);
        p.uucpLock.Release();
        return 0;
    }
    // A device that cannot be configured is released at once rather than held half-open.
    const ConfigureResult configured = ConfigureLine(fd.Get(), p.baudRate);
    if (!configured.ok) {
        p.openError = DescribeConfigureFailure(*path, configured.step, configured.error);
        p.uucpLock.Release();
        return 0;
    }
    UniqueFd wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!wake.Valid()) {
        p.openError = "cannot open " + *path + ": " + std::generic_category().message(errno);
        p.uucpLock.Release();
        return 0;
    }
    p.device = std::move(fd);
    p.wake = std::move(wake);
    try {
        p.readerThread = std::thread([&p] { p.ReaderLoop(); });
    } catch (const std::system_error& e) {
        p.openError = "cannot open " + *path + ": " + e.what();
        ioctl(p.device.Get(), TIOCNXCL);
        p.device.Reset();
        p.wake.Reset();
        p.uucpLock.Release();
        return 0;
    }
    return 1;
}

void SerialPort::Close() {
    Impl& p = *impl_;
    const bool onReader =
        p.readerThread.joinable() && p.readerThread.get_id() == std::this_thread::get_id();
    // Set before waiting for a delivery in progress, so that none begins after Close was called.
    p.stopping.store(1);
    {
        // On the reader thread (a handler that closes its own port) deliveryLock is already held.
        std::unique_lock<std::mutex> delivering(p.deliveryLock, std::defer_lock);
        if (!onReader) delivering.lock();
        std::lock_guard guard(p.lock);
        p.receiveHandler = nullptr;
    }
    if (p.wake.Valid()) {
        // Cannot fail short of the counter overflowing, which one signal per Close never does.
        (void)eventfd_write(p.wake.Get(), 1);
    }
    if (p.device.Valid()) tcflush(p.device.Get(), TCIOFLUSH);
    // The reader cannot join itself: the owner's Close or the destructor finishes the job.
    if (onReader) return;
    if (p.readerThread.joinable()) p.readerThread.join();
    {
        std::lock_guard guard(p.writeLock);
        if (p.writerThread.joinable()) p.writerThread.join();
        if (p.device.Valid()) {
            ioctl(p.device.Get(), TIOCNXCL);
            p.device.Reset();
        }
    }
    p.wake.Reset();
    p.uucpLock.Release();
}

bool SerialPort::IsOpen() const {
    return impl_->device.Valid();
}

void SerialPort::SetReceiveHandler(ReceiveHandler handler) {
    std::lock_guard guard(impl_->lock);
    impl_->receiveHandler = handler;
}

int32_t SerialPort::Write(const uint8_t* bytes, int32_t length) {
    Impl& p = *impl_;
    if (bytes == nullptr || length <= 0) return 0;
    std::lock_guard guard(p.writeLock);
    if (!p.device.Valid() || p.stopping.load() != 0) return 0;
    if (p.writing.load()) return 0;
    // The previous writer has cleared `writing` as its last step; joining it is immediate.
    if (p.writerThread.joinable()) p.writerThread.join();
    p.writeLength = std::min<int32_t>(length, static_cast<int32_t>(kBufferSize));
    std::memcpy(p.writeBuffer, bytes, static_cast<size_t>(p.writeLength));
    p.writing.store(true);
    try {
        p.writerThread = std::thread([&p] { p.WriterRun(); });
    } catch (const std::system_error&) {
        p.writing.store(false);
        return 0;
    }
    return p.writeLength;
}

std::string SerialPort::OpenError() const {
    return impl_->openError;
}

}  // namespace telvane
