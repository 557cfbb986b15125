#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool WriteFileAtomic(const fs::path& path, std::string_view bytes, unsigned mode,
                     std::string* error) {
    const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
    std::random_device rd;
    const fs::path temp =
        dir / ("." + path.filename().string() + ".tmp" + std::to_string(rd() % 1000000));
    Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (fd.get() < 0) {
        SetError(error, "cannot create", temp, errno);
        return false;
    }
    auto fail = [&](std::string_view what, int err) {
        SetError(error, what, path, err);
        ::close(fd.release());
        ::unlink(temp.c_str());
        return false;
    };
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail("cannot write", errno);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd.get()) != 0) return fail("cannot flush", errno);
    if (::close(fd.release()) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        SetError(error, "cannot write", path, err);
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        SetError(error, "cannot replace", path, err);
        return false;
    }
    // The rename itself is made durable by syncing the folder.
    Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0) ::fsync(dirFd.get());
    return true;
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
    std::error_code ec;
    if (!fs::exists(folder, ec)) {
        fs::create_directories(folder, ec);
        if (!ec) fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace, ec);
    }
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
