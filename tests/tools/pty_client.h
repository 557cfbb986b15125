// A minimal serial client for the simulator's tests: opens the pty slave raw and reads with a
// deadline, so a silent modem fails a test instead of hanging it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "modemsim/simulated_modem.h"
#include "support/wait.h"

namespace telvane::modemsim::testing {

class PtyClient {
  public:
    explicit PtyClient(const std::string& path) {
        fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ >= 0) {
            termios tio{};
            tcgetattr(fd_, &tio);
            cfmakeraw(&tio);
            tcsetattr(fd_, TCSANOW, &tio);
        }
    }
    ~PtyClient() {
        if (fd_ >= 0) close(fd_);
    }
    PtyClient(const PtyClient&) = delete;
    PtyClient& operator=(const PtyClient&) = delete;

    bool Ok() const { return fd_ >= 0; }

    void Send(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }

    // Reads until the text received since the last call contains `marker` (or the deadline, or
    // the link ends), and returns all of it.
    std::string ReadUntil(const std::string& marker,
                          std::chrono::milliseconds timeout = telvane::testing::kHangCeiling) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (received_.find(marker) == std::string::npos && !hungUp_) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            ReadFor(static_cast<int>(left.count()));
        }
        std::string out;
        out.swap(received_);
        return out;
    }

    // Everything that arrives within `ms`.
    std::string Drain(int ms) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!hungUp_) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            ReadFor(static_cast<int>(left.count()));
        }
        std::string out;
        out.swap(received_);
        return out;
    }

    // Sends a command line (CR added) and returns the answer up to its final result.
    std::string Command(const std::string& line) {
        Send(line + "\r");
        return ReadUntilFinal();
    }

    std::string ReadUntilFinal(std::chrono::milliseconds timeout = telvane::testing::kHangCeiling) {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        std::string all;
        while (!HasFinal(all) && !hungUp_) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            ReadFor(static_cast<int>(left.count()));
            all += received_;
            received_.clear();
        }
        return all;
    }

    bool HungUp() const { return hungUp_; }

  private:
    static bool HasFinal(const std::string& s) {
        for (const char* end :
             {"\r\nOK\r\n", "\r\nERROR\r\n", "ERROR: ", "\r\n> ", "NO CARRIER\r\n"}) {
            size_t at = s.find(end);
            if (at == std::string::npos) continue;
            if (std::string(end) == "ERROR: ") return s.find("\r\n", at) != std::string::npos;
            return true;
        }
        return false;
    }

    void ReadFor(int ms) {
        pollfd p{fd_, POLLIN, 0};
        int r = poll(&p, 1, ms);
        if (r <= 0) return;
        char buffer[4096];
        ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n > 0)
            received_.append(buffer, static_cast<size_t>(n));
        else if (n < 0 || (p.revents & (POLLHUP | POLLERR)))
            hungUp_ = true;
    }

    int fd_ = -1;
    bool hungUp_ = false;
    std::string received_;
};

// A simulated modem started on a pty of its own, with a client on the other side.
struct Booted {
    std::unique_ptr<SimulatedModem> modem;
    std::unique_ptr<PtyClient> client;
    std::string Ask(const std::string& line) { return client->Command(line); }
};

// `scenario` is the text of a scenario file; `firstLine`, when given, is sent at once (e.g. to
// turn the echo off) and its answer dropped.
inline Booted Boot(const std::string& scenario, const std::string& firstLine = "") {
    std::string error;
    auto parsed = ParseScenario(scenario, &error);
    EXPECT_TRUE(parsed) << error;
    if (!parsed) return {};
    Booted b;
    b.modem = std::make_unique<SimulatedModem>(std::move(*parsed));
    b.client = std::make_unique<PtyClient>(b.modem->Start());
    if (!firstLine.empty()) b.Ask(firstLine);
    return b;
}

}  // namespace telvane::modemsim::testing
