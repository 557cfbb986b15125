// Unplug and replug with the simulator program: a later simulator takes over an earlier one's
// --link, the earlier one's end leaves it alone, and `hangup` takes link and line away at once;
// telvane-tool's listen --reconnect follows the link from one simulator to the next.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/port_holder.h"
#include "pty_client.h"
#include "support/program.h"
#include "support/wait.h"

namespace telvane::modemsim {
namespace {

namespace fs = std::filesystem;

// One telvane-modemsim on `link` with a control pipe; ended by SIGTERM with the object.
class SimulatorProgram {
  public:
    SimulatorProgram(const std::string& link, const std::string& control) {
        const std::string program = std::string(TELVANE_BINARY_DIR) + "/tools/telvane-modemsim";
        int out[2];
        if (pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            execl(program.c_str(), program.c_str(), "--link", link.c_str(), "--control",
                  control.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        // The path is printed once the link and the pipe are in place.
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n')
            printed_ += c;
        close(out[0]);
        device_ = fs::read_symlink(link).string();
    }
    ~SimulatorProgram() { End(); }

    const std::string& Printed() const { return printed_; }
    const std::string& Device() const { return device_; }
    int End() {
        if (pid_ <= 0) return status_;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return status_;
    }

  private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::string printed_;
    std::string device_;
};

// A folder for the link and the simulators' control pipes, removed with the test.
class ModemsimReplug : public ::testing::Test {
  protected:
    void SetUp() override {
        char folder[] = "/tmp/telvane-replug-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
        link = (folder_ / "modem").string();
        control = (folder_ / "control").string();
        control2 = (folder_ / "control2").string();
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    fs::path folder_;
    std::string link;
    std::string control;
    std::string control2;
};

TEST_F(ModemsimReplug, ALaterSimulatorTakesTheLinkAndHangupTakesItAway) {
    SimulatorProgram first(link, control);
    ASSERT_EQ(first.Printed(), link);
    SimulatorProgram second(link, control2);
    ASSERT_EQ(second.Printed(), link);
    EXPECT_NE(second.Device(), first.Device());
    EXPECT_EQ(fs::read_symlink(link).string(), second.Device());
    // The first one ending leaves the second one's link in place.
    EXPECT_EQ(first.End(), 0);
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link).string(), second.Device());

    testing::PtyClient client(link);
    ASSERT_TRUE(client.Ok());
    EXPECT_EQ(client.Command("AT"), "AT\r\r\nOK\r\n");
    std::ofstream(control2) << "hangup\n" << std::flush;
    // The client sees the line end, and the link is gone as a pulled modem's would be.
    client.ReadUntil("never sent");
    EXPECT_TRUE(client.HungUp());
    EXPECT_TRUE(telvane::testing::WaitUntil([&] { return !fs::exists(fs::symlink_status(link)); }));
    EXPECT_EQ(second.End(), 0);
}

TEST_F(ModemsimReplug, ListenReconnectFollowsTheLinkToTheNextSimulator) {
    SimulatorProgram first(link, control);
    ASSERT_EQ(first.Printed(), link);
    std::optional<SimulatorProgram> second;
    telvane::testing::Program tool(
        {TELVANE_TOOL_PATH, "modem", "--device", link, "--scale", "0.1", "listen", "--reconnect"});
    telvane::testing::Watchdog watchdog(tool);
    int started = 0;
    bool lost = false;
    bool reconnected = false;
    bool arrived = false;
    for (std::string line; tool.NextLine(line);) {
        if (line.starts_with("{\"event\": \"started\"")) {
            // The first modem is pulled out.
            if (++started == 1) std::ofstream(control) << "hangup\n" << std::flush;
        } else if (line.starts_with("{\"event\": \"linkLost\"")) {
            lost = true;
            // The next one is plugged in on the same link.
            second.emplace(link, control2);
        } else if (line == "{\"event\": \"reconnected\"}\n") {
            reconnected = true;
            std::ofstream(control2) << "deliver +886955000111 | | After the replug\n" << std::flush;
        } else if (line.starts_with("{\"event\": \"message\"")) {
            arrived = line.find("After the replug") != std::string::npos;
            // The listener is the one holding the new modem's port.
            const std::optional<PortHolder> holder = FindPortHolder(second->Device(), {});
            ASSERT_TRUE(holder);
            EXPECT_EQ(holder->pid, tool.Pid());
            tool.Signal(SIGTERM);
        }
    }
    EXPECT_EQ(tool.Wait(), 0) << tool.All();
    EXPECT_EQ(started, 2) << tool.All();
    EXPECT_TRUE(lost && reconnected && arrived) << tool.All();
    EXPECT_EQ(first.End(), 0);
}

}  // namespace
}  // namespace telvane::modemsim
