// The files layer: what interrupted saves leave behind, modes whatever the umask, and saves that
// fail as a full disk or a read-only folder makes them fail.
#include "platform/files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <set>
#include <string>

namespace telvane {
namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = fs::temp_directory_path() / "telvane-files-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, ec);
        fs::remove_all(dir_, ec);
    }

    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            names.insert(entry.path().filename().string());
        return names;
    }

    fs::path dir_;
};

unsigned Mode(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Sets the umask for one scope.
class Umask {
  public:
    explicit Umask(mode_t mask) : previous_(::umask(mask)) {}
    ~Umask() { ::umask(previous_); }

  private:
    mode_t previous_;
};

TEST_F(FilesTest, InterruptedSavesOfThatFileAloneAreRemoved) {
    ASSERT_TRUE(WriteFileAtomic(dir_ / "smsdraft.acr", "draft"));
    const std::set<std::string> kept = {
        "smsdraft.acr",
        ".smsdraft.acr.tmpx1",         // not our digits
        ".smsdraft.acr.tmp1234567",    // too many digits
        ".smsin.acr.tmp42",            // another file's save
        "smsdraft.acr.tmp42",          // no leading dot
        ".smsdraft.acr.damaged.tmp1",  // another pattern
        ".smsdraft.acr.tmp99",         // a save still running (held below)
    };
    for (const std::string& name : kept) {
        if (name != "smsdraft.acr") {
            ASSERT_TRUE(WriteNewFile(dir_ / name, "x"));
        }
    }
    ASSERT_TRUE(WriteNewFile(dir_ / ".smsdraft.acr.tmp0", "dead"));
    ASSERT_TRUE(WriteNewFile(dir_ / ".smsdraft.acr.tmp654321", "dead"));
    fs::create_directory(dir_ / ".smsdraft.acr.tmp7");  // not a file
    const int live = ::open((dir_ / ".smsdraft.acr.tmp99").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(live, 0);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);

    EXPECT_EQ(RemoveInterruptedSaves(dir_ / "smsdraft.acr"), 2);
    std::set<std::string> expected = kept;
    expected.insert(".smsdraft.acr.tmp7");
    EXPECT_EQ(Names(), expected);
    ::close(live);
    EXPECT_EQ(RemoveInterruptedSaves(dir_ / "smsdraft.acr"), 1);
    EXPECT_EQ(RemoveInterruptedSaves(dir_ / "missing" / "x.acr"), 0);
}

TEST_F(FilesTest, ModesAreExactWhateverTheUmask) {
    for (mode_t mask : {mode_t{0}, mode_t{022}, mode_t{0277}}) {
        Umask umask(mask);
        const fs::path base = dir_ / ("mask" + std::to_string(mask));
        const fs::path folder = base / "config" / "telvane";
        ASSERT_TRUE(CreatePrivateFolder(folder)) << mask;
        EXPECT_EQ(Mode(base), 0700u) << mask;
        EXPECT_EQ(Mode(folder), 0700u) << mask;
        ASSERT_TRUE(WriteFileAtomic(folder / "settings.conf", "a", 0600)) << mask;
        EXPECT_EQ(Mode(folder / "settings.conf"), 0600u) << mask;
        ASSERT_TRUE(WriteNewFile(folder / "kept", "a", 0600)) << mask;
        EXPECT_EQ(Mode(folder / "kept"), 0600u) << mask;
    }
    // An existing folder keeps the mode its owner gave it.
    fs::create_directory(dir_ / "shared");
    fs::permissions(dir_ / "shared",
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    EXPECT_TRUE(CreatePrivateFolder(dir_ / "shared"));
    EXPECT_EQ(Mode(dir_ / "shared"), 0750u);
    std::string error;
    ASSERT_TRUE(WriteFileAtomic(dir_ / "file", "x"));
    EXPECT_FALSE(CreatePrivateFolder(dir_ / "file" / "sub", &error));
    EXPECT_EQ(error, "cannot create " + (dir_ / "file").string() + ": File exists");
}

TEST_F(FilesTest, WriteNewFileNeverReplaces) {
    ASSERT_TRUE(WriteNewFile(dir_ / "copy", "first"));
    std::string error;
    EXPECT_FALSE(WriteNewFile(dir_ / "copy", "second", 0600, &error));
    EXPECT_EQ(error, "cannot create " + (dir_ / "copy").string() + ": File exists");
    EXPECT_EQ(ReadWholeFile(dir_ / "copy"), "first");
}

TEST_F(FilesTest, AFullDiskFailsTheSaveWithFileOperationAndReasonAndLeavesNothing) {
    const fs::path file = dir_ / "smsout.acr";
    ASSERT_TRUE(WriteFileAtomic(file, "old"));
    struct Case {
        int err;
        const char* reason;
    } cases[] = {{ENOSPC, "No space left on device"},
                 {EIO, "Input/output error"},
                 {EDQUOT, "Disk quota exceeded"}};
    for (const auto& c : cases) {
        std::string error;
        {
            ScopedWriteFault fault(c.err);
            EXPECT_FALSE(WriteFileAtomic(file, "new", 0600, &error));
            EXPECT_FALSE(WriteNewFile(dir_ / "copy", "new"));
        }
        EXPECT_EQ(error, "cannot write " + file.string() + ": " + c.reason);
        EXPECT_EQ(ReadWholeFile(file), "old");
        EXPECT_EQ(Names(), std::set<std::string>{"smsout.acr"}) << "no temp or copy left";
    }
    EXPECT_TRUE(WriteFileAtomic(file, "new"));
    EXPECT_EQ(ReadWholeFile(file), "new");
}

// Runs `save` where the folder is read-only to it: as an ordinary user after a chmod, as root in
// a child that gives up root first (root writes anywhere).  Returns the save's error text.
std::string SaveInReadOnlyFolder(const fs::path& folder, const std::function<std::string()>& save) {
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                fs::perms::group_exec | fs::perms::others_read |
                                fs::perms::others_exec);
    if (::geteuid() != 0) return save();
    int out[2];
    if (::pipe(out) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        const std::string error = save();
        const bool written =
            ::write(out[1], error.data(), error.size()) == static_cast<ssize_t>(error.size());
        ::_exit(written ? 0 : 3);
    }
    ::close(out[1]);
    std::string error;
    char buffer[512];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        error.append(buffer, static_cast<size_t>(n));
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
    return error;
}

TEST_F(FilesTest, AReadOnlyFolderFailsTheSaveWithFileOperationAndReason) {
    const fs::path file = dir_ / "smsin.acr";
    ASSERT_TRUE(WriteFileAtomic(file, "old", 0644));
    const std::string error = SaveInReadOnlyFolder(dir_, [&] {
        std::string reason;
        return WriteFileAtomic(file, "new", 0600, &reason) ? std::string("saved") : reason;
    });
    EXPECT_EQ(error, "cannot create a temporary file for " + file.string() + ": Permission denied");
    EXPECT_EQ(ReadWholeFile(file), "old");
    EXPECT_EQ(Names(), std::set<std::string>{"smsin.acr"});
}

}  // namespace
}  // namespace telvane
