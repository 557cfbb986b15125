#include "platform/port_holder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>

#include "platform/uucp_lock.h"

namespace telvane {
namespace {

// Linux numbers the slaves of /dev/ptmx under majors 136 to 143.
constexpr unsigned kFirstPtySlaveMajor = 136;
constexpr unsigned kLastPtySlaveMajor = 143;

std::optional<int> PtyIndex(dev_t device) {
    const unsigned major = ::major(device);
    if (major < kFirstPtySlaveMajor || major > kLastPtySlaveMajor) return std::nullopt;
    return static_cast<int>((major - kFirstPtySlaveMajor) * 256 + ::minor(device));
}

// The pty index of a /dev/ptmx descriptor, from its fdinfo; nullopt for any other descriptor.
std::optional<int> MasterIndex(const std::filesystem::path& fdinfo) {
    std::ifstream in(fdinfo);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("tty-index:", 0) == 0) return std::atoi(line.c_str() + 10);
    }
    return std::nullopt;
}

std::mutex linksRootLock;
std::filesystem::path chosenLinksRoot;

// The stable names (by-id, by-path) that lead to the same node as `device`.  Where the system
// keeps none (a pseudo-terminal, a container) this costs a failed opendir a folder.
std::vector<std::string> StableNames(const struct stat& device) {
    std::vector<std::string> names;
    const std::filesystem::path root = SerialLinksRoot();
    for (const char* kind : {"by-id", "by-path"}) {
        DIR* dir = ::opendir((root / kind).c_str());
        if (dir == nullptr) continue;
        while (const dirent* entry = ::readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            struct stat target {};
            if (::stat((root / kind / entry->d_name).c_str(), &target) != 0) continue;
            if (target.st_dev == device.st_dev && target.st_ino == device.st_ino)
                names.push_back((root / kind / entry->d_name).string());
        }
        ::closedir(dir);
    }
    return names;
}

bool AllDigits(const char* name) {
    if (*name == '\0') return false;
    for (; *name != '\0'; ++name)
        if (*name < '0' || *name > '9') return false;
    return true;
}

enum class Holds { kNo, kSlave, kMaster };

// Whether process `pid` has the device open, and by which end.
Holds ProcessHolds(const std::filesystem::path& processDir, const struct stat& device,
                   std::optional<int> ptyIndex) {
    const std::filesystem::path fdDir = processDir / "fd";
    DIR* dir = ::opendir(fdDir.c_str());
    // Another user's process cannot be examined: it is left to the lock and the open.
    if (dir == nullptr) return Holds::kNo;
    Holds found = Holds::kNo;
    while (const dirent* entry = ::readdir(dir)) {
        if (!AllDigits(entry->d_name)) continue;
        struct stat target {};
        if (::stat((fdDir / entry->d_name).c_str(), &target) != 0) continue;
        if (!S_ISCHR(target.st_mode)) continue;
        // Each devpts instance (a container's, the host's) numbers its terminals from 0: a
        // pseudo-terminal is the same one only within the same instance.
        if (target.st_rdev == device.st_rdev && (!ptyIndex || target.st_dev == device.st_dev)) {
            found = Holds::kSlave;
            continue;
        }
        if (ptyIndex && MasterIndex(processDir / "fdinfo" / entry->d_name) == ptyIndex) {
            found = Holds::kMaster;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

}  // namespace

std::filesystem::path SerialLinksRoot() {
    std::lock_guard guard(linksRootLock);
    return chosenLinksRoot.empty() ? std::filesystem::path("/dev/serial") : chosenLinksRoot;
}

void SetSerialLinksRoot(std::filesystem::path root) {
    std::lock_guard guard(linksRootLock);
    chosenLinksRoot = std::move(root);
}

std::string ProcessName(int pid, const std::filesystem::path& procRoot) {
    std::ifstream in(procRoot / std::to_string(pid) / "comm");
    std::string name;
    std::getline(in, name);
    return name.empty() ? "pid " + std::to_string(pid) : name;
}

std::string DescribeHolder(const std::string& devicePath, const PortHolder& holder) {
    return "the port " + devicePath + " is in use by " + holder.name + " (pid " +
           std::to_string(holder.pid) + ")";
}

std::optional<PortHolder> FindPortHolder(const std::string& devicePath,
                                         const std::vector<std::filesystem::path>& lockFolders,
                                         const std::filesystem::path& procRoot) {
    const int self = static_cast<int>(::getpid());
    struct stat device {};
    const bool isDevice = ::stat(devicePath.c_str(), &device) == 0 && S_ISCHR(device.st_mode);
    // A lock names the device as its taker spelt it: by the path given, by the node's name or by
    // a stable name the taker was given (LCK..usb-Maker_Modem-if00).
    std::vector<std::string> spellings{devicePath};
    std::error_code error;
    const std::filesystem::path node = std::filesystem::canonical(devicePath, error);
    if (!error) spellings.push_back(node.string());
    if (isDevice) {
        for (std::string& name : StableNames(device))
            spellings.push_back(std::move(name));
    }
    std::vector<std::string> lockNames;
    for (const std::string& spelling : spellings) {
        const std::string lockName = LockFileName(spelling);
        if (std::find(lockNames.begin(), lockNames.end(), lockName) != lockNames.end()) continue;
        lockNames.push_back(lockName);
        const std::optional<int> pid = LiveLockOwner(spelling, lockFolders);
        if (pid && *pid != self) return PortHolder{*pid, ProcessName(*pid, procRoot)};
    }

    if (!isDevice) return std::nullopt;
    const std::optional<int> ptyIndex = PtyIndex(device.st_rdev);
    DIR* proc = ::opendir(procRoot.c_str());
    if (proc == nullptr) return std::nullopt;
    std::optional<PortHolder> holder;
    while (const dirent* entry = ::readdir(proc)) {
        if (!AllDigits(entry->d_name)) continue;
        const int pid = std::atoi(entry->d_name);
        if (pid == self) continue;
        if (ProcessHolds(procRoot / entry->d_name, device, ptyIndex) == Holds::kSlave) {
            holder = PortHolder{pid, ProcessName(pid, procRoot)};
            break;
        }
    }
    ::closedir(proc);
    return holder;
}

}  // namespace telvane
