// Another process holding a device: `sleep` started with the device as its standard input, as a
// terminal program or a script that opened the port plainly would hold it.  Ended with the object.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

extern char** environ;

namespace telvane::testing {

class HolderProcess {
  public:
    // Without a path the process holds nothing: its pid is a live one that names no device.
    explicit HolderProcess(const std::string& path = {}) {
        // Nothing else of the test's goes along: a pty master would make it that pty's far end.
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
            const int fd = std::atoi(entry.path().filename().c_str());
            if (fd > 2) ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (!path.empty())
            posix_spawn_file_actions_addopen(&actions, 0, path.c_str(), O_RDWR | O_NOCTTY, 0);
        char sleep[] = "sleep";
        char forever[] = "600";
        char* argv[] = {sleep, forever, nullptr};
        if (posix_spawnp(&pid_, "sleep", &actions, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~HolderProcess() { End(); }
    HolderProcess(const HolderProcess&) = delete;
    HolderProcess& operator=(const HolderProcess&) = delete;

    int Pid() const { return pid_; }
    // Killed and reaped: its pid names no live process afterwards.
    void End() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
    }

  private:
    pid_t pid_ = -1;
};

}  // namespace telvane::testing
