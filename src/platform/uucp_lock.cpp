#include "platform/uucp_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

namespace telvane {
namespace {

std::mutex foldersLock;
std::vector<std::filesystem::path> chosenFolders;

bool ProcessAlive(int pid) {
    // EPERM: it exists, under another user.
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

// At most a lock's worth of the file; empty when it cannot be read.
std::string ReadLockText(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return {};
    char buffer[64];
    ssize_t n;
    do {
        n = ::read(fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

}  // namespace

std::vector<std::filesystem::path> LockFolders() {
    std::lock_guard guard(foldersLock);
    if (!chosenFolders.empty()) return chosenFolders;
    return {"/run/lock", "/var/lock"};
}

void SetLockFolders(std::vector<std::filesystem::path> folders) {
    std::lock_guard guard(foldersLock);
    chosenFolders = std::move(folders);
}

std::string LockFileName(const std::string& devicePath) {
    const size_t slash = devicePath.rfind('/');
    return "LCK.." + (slash == std::string::npos ? devicePath : devicePath.substr(slash + 1));
}

std::optional<int> ParseLockPid(const std::string& text) {
    if (text.empty()) return std::nullopt;
    // Kermit and some old programs wrote the pid as a binary int; a pid's top byte is zero, so
    // text of four characters is never taken for one. Checked first: its low byte may be a digit.
    if (text.size() == sizeof(int) && text.find('\0') != std::string::npos) {
        int binary = 0;
        std::memcpy(&binary, text.data(), sizeof binary);
        return binary > 0 ? std::optional<int>(binary) : std::nullopt;
    }
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    long pid = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && digits < 10; ++i, ++digits)
        pid = pid * 10 + (text[i] - '0');
    if (digits > 0) {
        if (pid <= 0 || pid > 0x3FFFFFFF) return std::nullopt;
        return static_cast<int>(pid);
    }
    return std::nullopt;
}

std::optional<int> LiveLockOwner(const std::string& devicePath,
                                 const std::vector<std::filesystem::path>& folders) {
    const std::string name = LockFileName(devicePath);
    for (const std::filesystem::path& folder : folders) {
        const std::optional<int> pid = ParseLockPid(ReadLockText(folder / name));
        if (pid && ProcessAlive(*pid)) return pid;
    }
    return std::nullopt;
}

UucpLock::Result UucpLock::Acquire(const std::string& devicePath, int* owner) {
    Release();
    const std::vector<std::filesystem::path> folders = LockFolders();
    if (const std::optional<int> pid = LiveLockOwner(devicePath, folders)) {
        if (owner) *owner = *pid;
        return Result::kHeld;
    }
    const std::string name = LockFileName(devicePath);
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
    const size_t length = std::strlen(text);
    for (const std::filesystem::path& folder : folders) {
        const std::filesystem::path file = folder / name;
        // Written under a name of its own and linked into place, so that no reader ever sees a
        // half-written lock and two takers cannot both win.
        const std::filesystem::path temporary =
            folder / ("LTMP." + std::to_string(::getpid()) + "." + name.substr(5));
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) continue;
        const bool written = ::write(fd, text, length) == static_cast<ssize_t>(length);
        ::fchmod(fd, 0644);
        ::close(fd);
        if (!written) {
            ::unlink(temporary.c_str());
            continue;
        }
        bool linked = false;
        // Twice at most: once more after a stale lock was removed.
        for (int attempt = 0; attempt < 2 && !linked; ++attempt) {
            if (::link(temporary.c_str(), file.c_str()) == 0) {
                linked = true;
                break;
            }
            if (errno != EEXIST) break;
            const std::optional<int> pid = ParseLockPid(ReadLockText(file));
            if (pid && ProcessAlive(*pid)) {
                ::unlink(temporary.c_str());
                if (owner) *owner = *pid;
                return Result::kHeld;
            }
            // Stale: its owner is gone (or it names nobody).
            ::unlink(file.c_str());
        }
        ::unlink(temporary.c_str());
        if (linked) {
            file_ = file;
            return Result::kLocked;
        }
    }
    return Result::kNoFolder;
}

void UucpLock::Release() {
    if (file_.empty()) return;
    // A lock another process took over after ours was judged stale is theirs.
    if (ParseLockPid(ReadLockText(file_)) == static_cast<int>(::getpid())) ::unlink(file_.c_str());
    file_.clear();
}

}  // namespace telvane
