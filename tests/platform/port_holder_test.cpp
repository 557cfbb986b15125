// Who holds a device: lock files (fresh, stale, live, unreadable) and processes with the device
// open.
#include "platform/port_holder.h"

#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/uucp_lock.h"
#include "support/holder_process.h"
#include "support/wait.h"

namespace telvane {
namespace {

namespace fs = std::filesystem;
using testing::HolderProcess;
using testing::WaitUntil;

std::string Binary(int pid) {
    std::string text(sizeof pid, '\0');
    std::memcpy(text.data(), &pid, sizeof pid);
    return text;
}

TEST(LockPid, ReadsTheFormsProgramsWrite) {
    const struct {
        std::string text;
        std::optional<int> pid;
    } cases[] = {
        {"      4121\n", 4121},
        {"4121\n", 4121},
        {"4121", 4121},
        {"  77 telvane\n", 77},
        {Binary(4121), 4121},
        {Binary(2872), 2872},  // its low byte is the digit 8
        {"", std::nullopt},
        {"\n", std::nullopt},
        {"pid\n", std::nullopt},
        {"         0\n", std::nullopt},
        {"-12\n", std::nullopt},
        {"99999999999999\n", std::nullopt},
        {Binary(-3), std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseLockPid(c.text), c.pid) << '"' << c.text << '"';
}

class LockFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = fs::temp_directory_path() / "telvane-locks-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        SetLockFolders({dir_});
    }
    void TearDown() override {
        SetLockFolders({});
        SetSerialLinksRoot({});
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    void WriteLock(const std::string& name, const std::string& text) {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    std::string ReadLock(const std::string& name) {
        std::ifstream in(dir_ / name, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static std::string Ten(int pid) {
        char text[16];
        std::snprintf(text, sizeof text, "%10d\n", pid);
        return text;
    }

    fs::path dir_;
};

TEST_F(LockFolderTest, TakesFreeAndStaleLocksAndRefusesLiveOnes) {
    HolderProcess alive;
    HolderProcess dead;
    ASSERT_GT(alive.Pid(), 0);
    ASSERT_GT(dead.Pid(), 0);
    const int deadPid = dead.Pid();
    dead.End();
    const struct {
        const char* what;
        std::string existing;  // empty: no lock file
        UucpLock::Result result;
        int owner;
    } cases[] = {
        {"free", "", UucpLock::Result::kLocked, 0},
        {"stale", Ten(deadPid), UucpLock::Result::kLocked, 0},
        {"names no one", "garbage\n", UucpLock::Result::kLocked, 0},
        {"live", Ten(alive.Pid()), UucpLock::Result::kHeld, alive.Pid()},
        {"live, binary", Binary(alive.Pid()), UucpLock::Result::kHeld, alive.Pid()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(dir_ / "LCK..ttyUSB2");
        if (!c.existing.empty()) WriteLock("LCK..ttyUSB2", c.existing);
        UucpLock lock;
        int owner = 0;
        EXPECT_EQ(lock.Acquire("/dev/ttyUSB2", &owner), c.result);
        EXPECT_EQ(owner, c.owner);
        if (c.result == UucpLock::Result::kLocked) {
            EXPECT_EQ(ReadLock("LCK..ttyUSB2"), Ten(::getpid()));
            EXPECT_EQ(fs::status(dir_ / "LCK..ttyUSB2").permissions() & fs::perms::all,
                      fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                          fs::perms::others_read);
            lock.Release();
            EXPECT_FALSE(fs::exists(dir_ / "LCK..ttyUSB2"));
        } else {
            // Somebody else's lock is never touched.
            EXPECT_EQ(ReadLock("LCK..ttyUSB2"), c.existing);
        }
        // Nothing of the attempt is left behind but the lock itself.
        for (const auto& entry : fs::directory_iterator(dir_))
            EXPECT_EQ(entry.path().filename(), "LCK..ttyUSB2");
    }
}

TEST_F(LockFolderTest, ALockTakenOverIsNotRemovedByItsFormerOwner) {
    UucpLock lock;
    ASSERT_EQ(lock.Acquire("/dev/ttyACM0"), UucpLock::Result::kLocked);
    HolderProcess other;
    WriteLock("LCK..ttyACM0", Ten(other.Pid()));
    lock.Release();
    EXPECT_EQ(ReadLock("LCK..ttyACM0"), Ten(other.Pid()));
}

TEST_F(LockFolderTest, NoWritableFolderLeavesTheDeviceUsable) {
    SetLockFolders({dir_ / "missing"});
    UucpLock lock;
    EXPECT_EQ(lock.Acquire("/dev/ttyUSB0"), UucpLock::Result::kNoFolder);
    EXPECT_FALSE(lock.Held());
}

class PtyHolderTest : public LockFolderTest {
  protected:
    void SetUp() override {
        LockFolderTest::SetUp();
        char name[128] = {};
        ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        path_ = name;
    }
    void TearDown() override {
        ::close(master_);
        ::close(slave_);
        LockFolderTest::TearDown();
    }
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

TEST_F(PtyHolderTest, NamesTheProcessThatHasTheDeviceOpen) {
    // This process holds both ends: itself never counts.
    EXPECT_FALSE(FindPortHolder(path_, LockFolders()));

    HolderProcess holder(path_);
    ASSERT_GT(holder.Pid(), 0);
    std::optional<PortHolder> found;
    ASSERT_TRUE(WaitUntil([&] {
        found = FindPortHolder(path_, LockFolders());
        return found && found->name == "sleep";
    }));
    EXPECT_EQ(found->pid, holder.Pid());
    EXPECT_EQ(DescribeHolder(path_, *found), "the port " + path_ + " is in use by sleep (pid " +
                                                 std::to_string(holder.Pid()) + ")");

    // Through a symbolic link, as /dev/serial/by-id names a device.
    const fs::path link = dir_ / "modem";
    fs::create_symlink(path_, link);
    EXPECT_EQ(FindPortHolder(link.string(), LockFolders())->pid, holder.Pid());

    holder.End();
    EXPECT_FALSE(FindPortHolder(path_, LockFolders()));
}

// Another devpts instance (a container's, or the host's seen from one) numbers its terminals
// from 0 too: its terminal of our number is another device.
TEST_F(PtyHolderTest, ATerminalOfTheSameNumberInAnotherInstanceIsNoHolder) {
    struct stat node {};
    ASSERT_EQ(::stat(path_.c_str(), &node), 0);
    const fs::path elsewhere = dir_ / "pts-elsewhere";
    if (::mknod(elsewhere.c_str(), S_IFCHR | 0600, node.st_rdev) != 0)
        GTEST_SKIP() << "no mknod here: " << std::strerror(errno);
    const struct {
        const char* what;
        fs::path opened;
        bool named;
    } cases[] = {
        {"this terminal", path_, true},
        {"same number, another instance", elsewhere, false},
    };
    // Any pid but ours: this process never counts.
    const std::string pid = ::getpid() == 4121 ? "4122" : "4121";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // A process table of one process, with the device as its descriptor 3.
        const fs::path proc = dir_ / "proc";
        fs::remove_all(proc);
        fs::create_directories(proc / pid / "fd");
        std::ofstream(proc / pid / "comm") << "gammu\n";
        fs::create_symlink(c.opened, proc / pid / "fd" / "3");
        const std::optional<PortHolder> found = FindPortHolder(path_, {}, proc);
        EXPECT_EQ(found.has_value(), c.named);
        if (found) {
            EXPECT_EQ(DescribeHolder(path_, *found),
                      "the port " + path_ + " is in use by gammu (pid " + pid + ")");
        }
    }
}

TEST_F(PtyHolderTest, NamesTheOwnerOfALiveLockByEitherName) {
    HolderProcess owner;
    const fs::path link = dir_ / "modem";
    fs::create_symlink(path_, link);
    // One program locks the node's name, another the name it was given.
    for (const std::string& lockedAs : {path_, link.string()}) {
        SCOPED_TRACE(lockedAs);
        const std::string name = LockFileName(lockedAs);
        WriteLock(name, Ten(owner.Pid()));
        ASSERT_TRUE(WaitUntil([&] {
            const std::optional<PortHolder> found = FindPortHolder(link.string(), LockFolders());
            return found && found->name == "sleep";
        }));
        EXPECT_EQ(FindPortHolder(link.string(), LockFolders())->pid, owner.Pid());
        fs::remove(dir_ / name);
    }
    EXPECT_FALSE(FindPortHolder(link.string(), LockFolders()));
}

// A program given /dev/serial/by-id/usb-...-if00 locks that name; whoever opens the node, or the
// device by another stable name, must see the lock too.
TEST_F(PtyHolderTest, NamesTheOwnerOfALockUnderAStableNameOfTheDevice) {
    const fs::path serial = dir_ / "serial";
    SetSerialLinksRoot(serial);
    fs::create_directories(serial / "by-id");
    fs::create_directories(serial / "by-path");
    const fs::path byId = serial / "by-id" / "usb-Telvane_GSM_Modem_0001-if00";
    const fs::path byPath = serial / "by-path" / "pci-0000:00:14.0-usb-0:2:1.0-port0";
    fs::create_symlink(path_, byId);
    fs::create_symlink(path_, byPath);
    // Another device's name, and one whose device is gone: neither is ours.
    int otherMaster = -1;
    int otherSlave = -1;
    char otherName[128] = {};
    ASSERT_EQ(openpty(&otherMaster, &otherSlave, otherName, nullptr, nullptr), 0);
    const fs::path other = serial / "by-id" / "usb-Other_Modem_0002-if00";
    fs::create_symlink(otherName, other);
    fs::create_symlink(dir_ / "unplugged", serial / "by-id" / "usb-Gone_Modem_0003-if00");

    HolderProcess owner;
    const struct {
        fs::path locked;  // the name the lock was taken under
        fs::path opened;
        bool named;
    } cases[] = {
        {byId, path_, true},   {byPath, path_, true},
        {byId, byPath, true},  {byPath, byId, true},
        {other, path_, false}, {serial / "by-id" / "usb-Gone_Modem_0003-if00", path_, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.locked.filename().string() + " opened as " + c.opened.string());
        const std::string name = LockFileName(c.locked.string());
        WriteLock(name, Ten(owner.Pid()));
        if (c.named) {
            std::optional<PortHolder> found;
            ASSERT_TRUE(WaitUntil([&] {
                found = FindPortHolder(c.opened.string(), LockFolders());
                return found && found->name == "sleep";
            }));
            EXPECT_EQ(found->pid, owner.Pid());
        } else {
            EXPECT_FALSE(FindPortHolder(c.opened.string(), LockFolders()));
        }
        fs::remove(dir_ / name);
    }
    ::close(otherMaster);
    ::close(otherSlave);

    // Without the folders (a pseudo-terminal, a container) the device is examined as before.
    SetSerialLinksRoot(dir_ / "missing");
    EXPECT_FALSE(FindPortHolder(path_, LockFolders()));
    WriteLock(LockFileName(path_), Ten(owner.Pid()));
    EXPECT_EQ(FindPortHolder(path_, LockFolders())->pid, owner.Pid());
}

}  // namespace
}  // namespace telvane
