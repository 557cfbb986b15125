// telvane-tool run against a simulated modem, as the integration tests drive it.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>

#include "modemsim/simulated_modem.h"
#include "support/wait.h"

namespace telvane::testing {

struct ToolResult {
    int status = -1;
    std::string out;  // standard output and standard error
};

// The tool must not inherit the simulated modem's side of the pty: it would keep the line up
// after the modem hangs it up.
inline void KeepDescriptorsFromChildren() {
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::atoi(entry.path().filename().c_str());
        if (fd > 2) fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
    }
}

// Runs the tool to its end; `onLine` sees each line of its output as it comes.
inline ToolResult RunToolLive(const std::string& arguments,
                              const std::function<void(const std::string&)>& onLine = nullptr) {
    KeepDescriptorsFromChildren();
    ToolResult result;
    const std::string command = std::string(TELVANE_TOOL_PATH) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    std::array<char, 4096> buffer;
    while (fgets(buffer.data(), static_cast<int>(buffer.size()), pipe)) {
        result.out += buffer.data();
        if (onLine) onLine(buffer.data());
    }
    const int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline modemsim::Scenario LoadScenario(const std::string& text) {
    std::string error;
    auto scenario = modemsim::ParseScenario(text, &error);
    EXPECT_TRUE(scenario) << error;
    return scenario ? *scenario : modemsim::Scenario{};
}

// Ends a tool run that hangs: the modem goes away, so the tool ends too.
class ModemWatchdog {
  public:
    explicit ModemWatchdog(modemsim::SimulatedModem& modem)
        : thread_([&modem, done = done_.get_future()] {
              if (done.wait_for(kHangCeiling) != std::future_status::ready) modem.Stop();
          }) {}
    ~ModemWatchdog() {
        done_.set_value();
        thread_.join();
    }
    ModemWatchdog(const ModemWatchdog&) = delete;
    ModemWatchdog& operator=(const ModemWatchdog&) = delete;

  private:
    std::promise<void> done_;
    std::thread thread_;
};

}  // namespace telvane::testing
