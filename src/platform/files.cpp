#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <vector>

namespace telvane {

namespace fs = std::filesystem;

namespace {

void SetError(std::string* error, std::string_view what, const fs::path& path, int err) {
    if (error) *error = std::string(what) + " " + path.string() + ": " + std::strerror(err);
}

// Owns a descriptor; closes it unless released.
class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

  private:
    int fd_;
};

}  // namespace

std::optional<std::string> ReadWholeFile(const fs::path& path, std::string* error) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        SetError(error, "cannot open", path, errno);
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            SetError(error, "cannot read", path, errno);
            return std::nullopt;
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<size_t>(n));
    }
    return bytes;
}

namespace {

std::atomic<int> injectedWriteFault{0};

// The temporary name of a save of `path`: a dot, the file's name, ".tmp" and up to six digits.
constexpr std::string_view kTempInfix = ".tmp";
constexpr size_t kTempDigits = 6;

fs::path TempName(const fs::path& path, unsigned number) {
    const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
    return dir / ("." + path.filename().string() + std::string(kTempInfix) +
                  std::to_string(number % 1000000));
}

bool IsTempNameOf(std::string_view candidate, std::string_view file) {
    const std::string prefix = "." + std::string(file) + std::string(kTempInfix);
    if (!candidate.starts_with(prefix)) return false;
    const std::string_view digits = candidate.substr(prefix.size());
    return !digits.empty() && digits.size() <= kTempDigits &&
           std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Writes all of `bytes`, retrying on EINTR; 0 or the errno of the failure.
int WriteAll(int fd, std::string_view bytes) {
    if (int fault = injectedWriteFault.load()) return fault;
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        done += static_cast<size_t>(n);
    }
    return 0;
}

}  // namespace

bool WriteFileAtomic(const fs::path& path, std::string_view bytes, unsigned mode,
                     std::string* error) {
    const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::random_device rd;
    fs::path temp;
    int fdNumber = -1;
    for (int attempt = 0; attempt < 8 && fdNumber < 0; ++attempt) {
        temp = TempName(path, rd());
        fdNumber = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fdNumber < 0 && errno != EEXIST) break;
    }
    Fd fd(fdNumber);
    if (fd.get() < 0) {
        SetError(error, "cannot create a temporary file for", path, errno);
        return false;
    }
    // Held until the descriptor closes: a later load tells a live save's file from a dead one's.
    ::flock(fd.get(), LOCK_EX);
    auto fail = [&](std::string_view what, int err) {
        SetError(error, what, path, err);
        ::close(fd.release());
        ::unlink(temp.c_str());
        return false;
    };
    if (::fchmod(fd.get(), mode) != 0) return fail("cannot set the mode of", errno);
    if (int err = WriteAll(fd.get(), bytes)) return fail("cannot write", err);
    if (::fsync(fd.get()) != 0) return fail("cannot flush", errno);
    // Renamed while still open and locked, so a load never takes a finished temp for a dead one.
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        SetError(error, "cannot replace", path, err);
        return false;
    }
    // The bytes are already on disk (fsync), so closing cannot lose them.
    ::close(fd.release());
    // The rename itself is made durable by syncing the folder.
    Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0) ::fsync(dirFd.get());
    return true;
}

bool WriteNewFile(const fs::path& path, std::string_view bytes, unsigned mode, std::string* error) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (fd.get() < 0) {
        SetError(error, "cannot create", path, errno);
        return false;
    }
    int err = ::fchmod(fd.get(), mode) != 0 ? errno : WriteAll(fd.get(), bytes);
    if (err == 0 && ::fsync(fd.get()) != 0) err = errno;
    if (err == 0 && ::close(fd.release()) != 0) err = errno;
    if (err != 0) {
        SetError(error, "cannot write", path, err);
        ::unlink(path.c_str());
        return false;
    }
    return true;
}

int RemoveInterruptedSaves(const fs::path& path) {
    const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
    const std::string file = path.filename().string();
    int removed = 0;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path candidate = it->path();
        if (!IsTempNameOf(candidate.filename().string(), file)) continue;
        Fd fd(::open(candidate.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
        if (fd.get() < 0) continue;
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        // A save that is still running holds its lock; a dead one's lock went with it.
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
        if (::unlink(candidate.c_str()) == 0) ++removed;
    }
    return removed;
}

bool CreatePrivateFolder(const fs::path& folder, std::string* error) {
    std::error_code ec;
    if (fs::is_directory(folder, ec)) return true;
    if (folder.has_parent_path() && folder.parent_path() != folder &&
        !CreatePrivateFolder(folder.parent_path(), error))
        return false;
    if (::mkdir(folder.c_str(), 0700) != 0) {
        if (errno == EEXIST && fs::is_directory(folder, ec)) return true;
        SetError(error, "cannot create", folder, errno);
        return false;
    }
    // mkdir's mode passed through the umask, which may have taken the owner's bits too.
    if (::chmod(folder.c_str(), 0700) != 0) {
        SetError(error, "cannot set the mode of", folder, errno);
        return false;
    }
    return true;
}

ScopedWriteFault::ScopedWriteFault(int err) : previous_(injectedWriteFault.exchange(err)) {}

ScopedWriteFault::~ScopedWriteFault() {
    injectedWriteFault.store(previous_);
}

fs::path DataFolder() {
    fs::path folder;
    if (const char* home = std::getenv("TELVANE_HOME"); home && *home) {
        folder = home;
    } else if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) {
        folder = fs::path(xdg) / "telvane";
    } else {
        const char* userHome = std::getenv("HOME");
        folder = fs::path(userHome && *userHome ? userHome : ".") / ".local/share/telvane";
    }
    CreatePrivateFolder(folder);
    return folder;
}

fs::path DataFile(std::string_view name) {
    return DataFolder() / fs::path(name);
}

std::vector<fs::path> ShippedFolders() {
    std::vector<fs::path> folders{DataFolder()};
    // Data lies beside the program: <prefix>/bin/x finds <prefix>/share/telvane.  The build
    // tree has the same layout, but some programs sit one folder deeper there (src/ui, tests/ui).
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path up = self.parent_path().parent_path();
        folders.push_back(up / "share/telvane");
        if (fs::exists(up.parent_path() / "CMakeCache.txt", ec))
            folders.push_back(up.parent_path() / "share/telvane");
    }
    folders.emplace_back(TELVANE_INSTALL_DATA_DIR);
    return folders;
}

fs::path FindShippedFile(std::string_view relative) {
    std::error_code ec;
    for (const fs::path& folder : ShippedFolders()) {
        fs::path candidate = folder / fs::path(relative);
        if (fs::exists(candidate, ec)) return candidate;
    }
    return {};
}

}  // namespace telvane
