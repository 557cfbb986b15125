// A modem a test plays itself on a raw pseudo-terminal: a reader thread cuts what the engine
// writes into command lines and hands each to Answer() with the byte that ended it.  A subclass
// calls StartReading() once it is built and StopReading() first in its destructor, so that no
// answer runs on a half-destroyed object.
#pragma once

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>

namespace telvane::testing {

class PtyLineModem {
  public:
    PtyLineModem() {
        int master = -1, slave = -1;
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
        termios raw{};
        tcgetattr(slave, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave, TCSANOW, &raw);
        master_ = master;
        slave_ = slave;
        path_ = name;
    }
    virtual ~PtyLineModem() {
        StopReading();
        if (master_ >= 0) close(master_);
        if (slave_ >= 0) close(slave_);
    }
    PtyLineModem(const PtyLineModem&) = delete;
    PtyLineModem& operator=(const PtyLineModem&) = delete;

    // The device the engine opens; empty when no pty could be had.
    const std::string& Path() const { return path_; }

  protected:
    virtual void Answer(const std::string& command, char terminator) = 0;

    void StartReading() {
        if (master_ >= 0) thread_ = std::thread([this] { Run(); });
    }
    void StopReading() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    // Everything of `bytes`, or up to the first refused write.
    void WriteAll(const std::string& bytes) const {
        for (size_t at = 0; at < bytes.size();) {
            const ssize_t n = write(master_, bytes.data() + at, bytes.size() - at);
            if (n <= 0) return;
            at += static_cast<size_t>(n);
        }
    }
    int Master() const { return master_; }

  private:
    void Run() {
        std::string line;
        while (!stop_) {
            pollfd fd{master_, POLLIN, 0};
            if (poll(&fd, 1, 10) <= 0) continue;
            char buffer[512];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0) continue;
            for (ssize_t i = 0; i < n; ++i) {
                const char c = buffer[i];
                if (c != '\r' && c != '\n') {
                    line += c;
                    continue;
                }
                if (!line.empty()) Answer(line, c);
                line.clear();
            }
        }
    }

    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace telvane::testing
