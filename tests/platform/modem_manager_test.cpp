// Asking ModemManager to let go of a modem, against a stand-in on a private bus: the inhibition
// goes to the modem whose ports list the device, ends with its object, and a refusal is told.
#include "platform/modem_manager_client.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "support/wait.h"

extern char** environ;

namespace telvane {
namespace {

namespace fs = std::filesystem;
using testing::WaitUntil;

// A child process, killed and reaped with the object; its first output line when asked.
class Child {
  public:
    explicit Child(const std::vector<std::string>& argv) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        if (posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        out_ = out[0];
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }
    std::string FirstLine() {
        std::string line;
        char c;
        while (::read(out_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

  private:
    pid_t pid_ = -1;
    int out_ = -1;
};

const char* kPython = "/usr/bin/python3";

bool HaveStandIn() {
    return ::access("/usr/bin/dbus-daemon", X_OK) == 0 && ::access(kPython, X_OK) == 0 &&
           std::system((std::string(kPython) + " -c 'import dbusmock' 2>/dev/null").c_str()) == 0;
}

class ModemManagerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveStandIn()) GTEST_SKIP() << "dbus-daemon or python3-dbusmock is not installed";
        char folder[] = "/tmp/telvane-mm-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        folder_ = folder;
        // A private bus stands for the system bus.
        bus_.emplace(std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork",
                                              "--print-address=1"});
        const std::string address = bus_->FirstLine();
        ASSERT_FALSE(address.empty());
        if (const char* old = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) previous_ = old;
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    }
    void TearDown() override {
        standIn_.reset();
        bus_.reset();
        if (previous_)
            ::setenv("DBUS_SYSTEM_BUS_ADDRESS", previous_->c_str(), 1);
        else
            ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        if (!folder_.empty()) fs::remove_all(folder_);
    }

    // The stand-in with these parameters (JSON), once its name is on the bus.
    void StartStandIn(const std::string& parameters) {
        standIn_.reset();
        // The bus lets the last one's name go in its own time.
        ASSERT_TRUE(WaitUntil([] { return !ModemManagerClient().Running(); }));
        fs::remove(Log());
        const std::string templateFile =
            std::string(TELVANE_SOURCE_DATA_DIR) + "/../tests/platform/modem_manager_standin.py";
        standIn_.emplace(std::vector<std::string>{kPython, "-m", "dbusmock", "-t", templateFile,
                                                  "-l", Log().string(), "-p", parameters});
        ASSERT_TRUE(WaitUntil([] { return ModemManagerClient().Running(); }));
    }
    fs::path Log() const { return folder_ / "calls.log"; }
    // The InhibitDevice calls the stand-in received, without their times.
    std::vector<std::string> Calls() const {
        std::vector<std::string> calls;
        std::ifstream in(Log());
        for (std::string line; std::getline(in, line);) {
            const size_t at = line.find("InhibitDevice");
            if (at != std::string::npos) calls.push_back(line.substr(at));
        }
        return calls;
    }

    fs::path folder_;
    std::optional<Child> bus_;
    std::optional<Child> standIn_;
    std::optional<std::string> previous_;
};

TEST_F(ModemManagerTest, InhibitsTheModemThatListsThePortUntilTheSessionEnds) {
    using Outcome = ModemManagerInhibition::Outcome;
    const std::string uid = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
    struct Case {
        const char* what;
        const char* device;
        std::string parameters;
        Outcome outcome;
        std::vector<std::string> calls;  // while inhibited, then after the end
        std::vector<std::string> after;
        const char* refusal;
    } cases[] = {
        {"managed",
         "/dev/ttyUSB2",
         R"({"device": ")" + uid + R"(", "ports": [["cdc-wdm0", 6], ["ttyUSB2", 2]]})",
         Outcome::kInhibited,
         {"InhibitDevice \"" + uid + "\" True"},
         {"InhibitDevice \"" + uid + "\" True", "InhibitDevice \"" + uid + "\" False"},
         ""},
        {"another port",
         "/dev/ttyUSB0",
         R"({"device": ")" + uid + R"(", "ports": [["ttyUSB2", 2]]})",
         Outcome::kNotManaged,
         {},
         {},
         ""},
        {"refused",
         "/dev/ttyUSB2",
         R"({"device": ")" + uid + R"(", "ports": [["ttyUSB2", 2]], "refuse": "not authorized"})",
         Outcome::kRefused,
         {},
         {},
         "not authorized"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartStandIn(c.parameters);
        Outcome outcome = Outcome::kNotManaged;
        std::string refusal;
        auto inhibition = ModemManagerInhibition::Begin(c.device, outcome, refusal);
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(inhibition != nullptr, c.outcome == Outcome::kInhibited);
        EXPECT_EQ(refusal, c.refusal);
        if (c.outcome != Outcome::kRefused) {
            EXPECT_EQ(Calls(), c.calls);
        }
        inhibition.reset();
        if (c.outcome != Outcome::kRefused) {
            // The log is written as each call comes.
            EXPECT_TRUE(WaitUntil([&] { return Calls() == c.after; }))
                << ::testing::PrintToString(Calls());
        }
    }
}

TEST_F(ModemManagerTest, NoServiceOrNoBusMeansNotManaged) {
    using Outcome = ModemManagerInhibition::Outcome;
    Outcome outcome = Outcome::kRefused;
    std::string refusal = "x";
    EXPECT_FALSE(ModemManagerClient().Running());
    EXPECT_EQ(ModemManagerInhibition::Begin("/dev/ttyUSB2", outcome, refusal), nullptr);
    EXPECT_EQ(outcome, Outcome::kNotManaged);
    EXPECT_EQ(refusal, "");

    ::setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + (folder_ / "no-bus").string()).c_str(), 1);
    EXPECT_EQ(ModemManagerInhibition::Begin("/dev/ttyUSB2", outcome, refusal), nullptr);
    EXPECT_EQ(outcome, Outcome::kNotManaged);
}

}  // namespace
}  // namespace telvane
