// UUCP lock files: the convention by which serial programs (gammu, gnokii, minicom, smstools)
// tell each other that a device is taken.  "LCK..ttyUSB2" in the lock folder holds the owner's
// pid as ten ASCII characters and a newline.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace telvane {

// The folders where lock files are looked for and made, first one made in first: /run/lock and
// /var/lock (usually one folder by two names) unless SetLockFolders chose others.
std::vector<std::filesystem::path> LockFolders();
// For tests and for systems that keep locks elsewhere; empty restores the default.
void SetLockFolders(std::vector<std::filesystem::path> folders);

// "LCK..ttyUSB2" for "/dev/ttyUSB2": the last part of the path as given.
std::string LockFileName(const std::string& devicePath);

// The pid in a lock file's text: ten ASCII characters (blanks before the digits) or the binary
// int some old programs wrote; nullopt when it holds no pid.
std::optional<int> ParseLockPid(const std::string& text);

// The live process that a lock file in `folders` names for `devicePath`, when there is one.  A
// lock of a dead process is stale and names no one.
std::optional<int> LiveLockOwner(const std::string& devicePath,
                                 const std::vector<std::filesystem::path>& folders);

// Holds the lock of one device for this process while it exists.
class UucpLock {
  public:
    UucpLock() = default;
    ~UucpLock() { Release(); }
    UucpLock(const UucpLock&) = delete;
    UucpLock& operator=(const UucpLock&) = delete;

    enum class Result { kLocked, kHeld, kNoFolder };
    // kHeld: a live process holds it (`owner` then names its pid).  kNoFolder: no lock folder
    // can be written; the device may still be used, as other programs do then.  A stale lock is
    // taken over.
    Result Acquire(const std::string& devicePath, int* owner = nullptr);
    // Removes the file, only while it still names this process.
    void Release();
    bool Held() const { return !file_.empty(); }
    const std::filesystem::path& File() const { return file_; }

  private:
    std::filesystem::path file_;
};

}  // namespace telvane
