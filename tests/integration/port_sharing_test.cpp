// telvane-tool and a port another program has: the holder is named and the line left alone; a
// listener that outlives its modem picks up the next one on the same link.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "modemsim/simulated_modem.h"
#include "platform/port_holder.h"
#include "platform/uucp_lock.h"
#include "support/holder_process.h"
#include "support/tool_session.h"
#include "support/wait.h"

extern char** environ;

namespace telvane {
namespace {

namespace fs = std::filesystem;
using testing::WaitUntil;

// A program run with its output read line by line; killed at the end if still running.
class Program {
  public:
    explicit Program(const std::vector<std::string>& argv) {
        testing::KeepDescriptorsFromChildren();
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, out[1], 2);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        output_ = ::fdopen(out[0], "r");
    }
    ~Program() {
        Signal(SIGKILL);
        Wait();
        if (output_) std::fclose(output_);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    pid_t Pid() const { return pid_; }
    void Signal(int signal) {
        if (pid_ > 0 && status_ < 0) ::kill(pid_, signal);
    }
    // The next line of its output; false at its end.
    bool NextLine(std::string& line) {
        char buffer[4096];
        if (!output_ || !std::fgets(buffer, sizeof buffer, output_)) return false;
        line = buffer;
        all_ += line;
        return true;
    }
    // Its exit status, once it ended.
    int Wait() {
        if (pid_ > 0 && status_ < 0) {
            int status = 0;
            ::waitpid(pid_, &status, 0);
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        return status_;
    }
    const std::string& All() const { return all_; }

  private:
    pid_t pid_ = -1;
    int status_ = -1;
    FILE* output_ = nullptr;
    std::string all_;
};

bool Installed(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Ends a program that hangs, so that the test fails instead of blocking.
class Watchdog {
  public:
    explicit Watchdog(Program& program)
        : thread_([&program, done = done_.get_future()] {
              if (done.wait_for(testing::kHangCeiling) != std::future_status::ready)
                  program.Signal(SIGKILL);
          }) {}
    ~Watchdog() {
        done_.set_value();
        thread_.join();
    }

  private:
    std::promise<void> done_;
    std::thread thread_;
};

class PortSharingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char folder[] = "/tmp/telvane-sharing-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        folder_ = folder;
    }
    void TearDown() override { fs::remove_all(folder_); }

    // Replaces the link in one step, as the simulator program does.
    void PointLink(const fs::path& link, const std::string& device) {
        const fs::path temporary = link.string() + ".new";
        fs::remove(temporary);
        fs::create_symlink(device, temporary);
        fs::rename(temporary, link);
    }

    fs::path folder_;
};

// Whoever has the port, with or without a lock: the tool exits 3 naming it, and nothing of
// the tool's reaches the modem (its first line would be the reset, ATZ, which neither sends).
TEST_F(PortSharingTest, AHeldPortIsRefusedWithItsHolderNamed) {
    modemsim::SimulatedModem modem(modemsim::Scenario{});
    const std::string device = modem.Start();
    ASSERT_FALSE(device.empty());
    const std::string rc = (folder_ / "gammurc").string();
    std::ofstream(rc) << "[gammu]\ndevice = " << device << "\nconnection = at\nuse_locking = yes\n";

    struct Case {
        const char* name;
        std::vector<std::string> holder;  // empty: a plain open by `sleep`
    } cases[] = {
        {"sleep", {}},
        {"gammu", {"env", "HOME=" + folder_.string(), "gammu", "-c", rc, "monitor"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.holder.empty() && !Installed(c.holder[2])) {
            std::printf("%s is not installed: that case is skipped\n", c.name);
            continue;
        }
        std::unique_ptr<testing::HolderProcess> plain;
        std::unique_ptr<Program> program;
        int pid = 0;
        if (c.holder.empty()) {
            plain = std::make_unique<testing::HolderProcess>(device);
            pid = plain->Pid();
        } else {
            program = std::make_unique<Program>(c.holder);
            pid = program->Pid();
        }
        ASSERT_TRUE(WaitUntil([&] {
            const std::optional<PortHolder> holder = FindPortHolder(device, LockFolders());
            return holder && holder->name == c.name;
        }));
        const testing::ToolResult result =
            testing::RunToolLive("modem --device " + device + " --scale 0.1 list");
        EXPECT_EQ(result.status, 3) << result.out;
        EXPECT_NE(result.out.find("the port " + device + " is in use by " + c.name + " (pid " +
                                  std::to_string(pid) + ")"),
                  std::string::npos)
            << result.out;
        if (program) {
            program->Signal(SIGINT);
            program->Wait();
        }
        const std::vector<std::string> commands = modem.Commands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "ATZ"), 0);
        if (c.holder.empty()) {
            EXPECT_TRUE(commands.empty());
        }
    }
}

// The link loses its modem twice over: once pulled, and the next one on the same link is
// picked up; a message arriving there is printed.
TEST_F(PortSharingTest, ListenReconnectFollowsTheLinkToTheNextModem) {
    modemsim::SimulatedModem first(modemsim::Scenario{});
    modemsim::SimulatedModem second(modemsim::Scenario{});
    const fs::path link = folder_ / "modem";
    const std::string firstDevice = first.Start();
    ASSERT_FALSE(firstDevice.empty());
    PointLink(link, firstDevice);

    Program tool({TELVANE_TOOL_PATH, "modem", "--device", link.string(), "--scale", "0.1", "listen",
                  "--reconnect"});
    Watchdog watchdog(tool);
    int started = 0;
    bool lost = false;
    bool reconnected = false;
    bool arrived = false;
    std::string secondDevice;
    for (std::string line; tool.NextLine(line);) {
        if (line.starts_with("{\"event\": \"started\"")) {
            ++started;
            // The first modem goes away, its link with it.
            if (started == 1) {
                fs::remove(link);
                first.Stop();
            }
        } else if (line.starts_with("{\"event\": \"linkLost\"")) {
            lost = true;
            secondDevice = second.Start();
            ASSERT_FALSE(secondDevice.empty());
            PointLink(link, secondDevice);
        } else if (line == "{\"event\": \"reconnected\"}\n") {
            reconnected = true;
            EXPECT_GT(second.DeliverMessage("+886955000111", "26/12/11,08:00:00+32",
                                            u"After the replug", "SM"),
                      0);
        } else if (line.starts_with("{\"event\": \"message\"")) {
            arrived = line.find("After the replug") != std::string::npos;
            // The listener is the one holding the new modem's port.
            const std::optional<PortHolder> holder = FindPortHolder(secondDevice, {});
            ASSERT_TRUE(holder);
            EXPECT_EQ(holder->pid, tool.Pid());
            tool.Signal(SIGTERM);
        }
    }
    EXPECT_EQ(tool.Wait(), 0) << tool.All();
    EXPECT_EQ(started, 2) << tool.All();
    EXPECT_TRUE(lost && reconnected && arrived) << tool.All();
    // The second modem went through the whole start-up again.
    const std::vector<std::string> commands = second.Commands();
    EXPECT_TRUE(std::any_of(commands.begin(), commands.end(), [](const std::string& command) {
        return command.find("+CPIN?") != std::string::npos;
    })) << ::testing::PrintToString(commands);
}

}  // namespace
}  // namespace telvane
