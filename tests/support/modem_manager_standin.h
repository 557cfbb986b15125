// ModemManager's stand-in for tests: a private bus (dbus-daemon) made the system bus of this
// process, and python3-dbusmock serving tests/platform/modem_manager_standin.py on it.  Tests
// are skipped when either is missing.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/modem_manager_client.h"
#include "support/wait.h"

extern char** environ;

namespace telvane::testing {

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

inline const char* const kPython = "/usr/bin/python3";

inline bool HaveStandIn() {
    return ::access("/usr/bin/dbus-daemon", X_OK) == 0 && ::access(kPython, X_OK) == 0 &&
           std::system((std::string(kPython) + " -c 'import dbusmock' 2>/dev/null").c_str()) == 0;
}

// The private bus and the stand-in on it, as a member of a test's fixture.
class StandInBus {
  public:
    // Empty when the bus is up; else why not.  Call HaveStandIn() first.
    std::string Start() {
        char folder[] = "/tmp/telvane-mm-XXXXXX";
        if (::mkdtemp(folder) == nullptr) return "cannot make a temp folder";
        folder_ = folder;
        // A private bus stands for the system bus.
        bus_.emplace(std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork",
                                              "--print-address=1"});
        const std::string address = bus_->FirstLine();
        if (address.empty()) return "dbus-daemon gave no address";
        if (const char* old = std::getenv("DBUS_SYSTEM_BUS_ADDRESS")) previous_ = old;
        ::setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
        return {};
    }
    ~StandInBus() {
        standIn_.reset();
        bus_.reset();
        if (previous_)
            ::setenv("DBUS_SYSTEM_BUS_ADDRESS", previous_->c_str(), 1);
        else
            ::unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }

    // The stand-in with these parameters (JSON), once its name is on the bus (false when it
    // never came).
    bool StartStandIn(const std::string& parameters) {
        standIn_.reset();
        // The bus lets the last one's name go in its own time.
        if (!WaitUntil([] { return !ModemManagerClient().Running(); })) return false;
        std::filesystem::remove(Log());
        const std::string templateFile =
            std::string(TELVANE_SOURCE_DATA_DIR) + "/../tests/platform/modem_manager_standin.py";
        standIn_.emplace(std::vector<std::string>{kPython, "-m", "dbusmock", "-t", templateFile,
                                                  "-l", Log().string(), "-p", parameters});
        return WaitUntil([] { return ModemManagerClient().Running(); });
    }
    std::filesystem::path Folder() const { return folder_; }
    std::filesystem::path Log() const { return folder_ / "calls.log"; }
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

  private:
    std::filesystem::path folder_;
    std::optional<Child> bus_;
    std::optional<Child> standIn_;
    std::optional<std::string> previous_;
};

}  // namespace telvane::testing
