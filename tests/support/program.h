// Another program run by a test: its output read line by line, ended at the latest with the
// object, and a watchdog that kills it should it hang.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "support/tool_session.h"
#include "support/wait.h"

extern char** environ;

namespace telvane::testing {

// A program run with its output read line by line; killed at the end if still running.
class Program {
  public:
    explicit Program(const std::vector<std::string>& argv) {
        KeepDescriptorsFromChildren();
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

// Ends a program that hangs, so that the test fails instead of blocking.
class Watchdog {
  public:
    explicit Watchdog(Program& program)
        : thread_([&program, done = done_.get_future()] {
              if (done.wait_for(kHangCeiling) != std::future_status::ready) program.Signal(SIGKILL);
          }) {}
    ~Watchdog() {
        done_.set_value();
        thread_.join();
    }

  private:
    std::promise<void> done_;
    std::thread thread_;
};

// A shell command run to its end, its standard output and error together; ended after `seconds`
// so that a hang fails the test instead of blocking it.
inline std::string RunShell(const std::string& command, int seconds = 60) {
    Program program({"timeout", "-k", "2", std::to_string(seconds), "sh", "-c", command});
    std::string line;
    while (program.NextLine(line)) {
    }
    program.Wait();
    return program.All();
}

// Whether `program` is on the PATH.
inline bool Installed(const std::string& program) {
    return RunShell("command -v " + program, 5).find('/') != std::string::npos;
}

}  // namespace telvane::testing
