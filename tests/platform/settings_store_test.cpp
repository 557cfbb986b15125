#include "platform/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/files.h"

namespace telvane {
namespace {
namespace fs = std::filesystem;

const std::string kKey = "Software\\Nubo\\Telvane\\Settings";

class SettingsStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("settings_store_test_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        file_ = dir_ / "telvane" / "settings.conf";
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
    fs::path file_;
};

TEST_F(SettingsStoreTest, KeyIsCreatedOnceAndValuesSurviveReopening) {
    {
        SettingsStore store(file_);
        bool created = false;
        ASSERT_TRUE(store.OpenKey(kKey, &created));
        EXPECT_TRUE(created);
        EXPECT_TRUE(fs::exists(file_));
        EXPECT_EQ(fs::status(file_).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_TRUE(store.SetText(kKey, "Port", u"COM3"));
        EXPECT_TRUE(store.SetText(kKey, "SC", u"+85290\n[x]=text:\\ 中文 "));
        EXPECT_TRUE(store.SetNumber(kKey, "AutoSC", 0));
        EXPECT_TRUE(store.SetNumber(kKey, "Big", 4294967295u));
    }
    SettingsStore store(file_);
    bool created = true;
    ASSERT_TRUE(store.OpenKey(kKey, &created));
    EXPECT_FALSE(created);
    EXPECT_EQ(store.GetText(kKey, "Port"), u"COM3");
    EXPECT_EQ(store.GetText(kKey, "SC"), u"+85290\n[x]=text:\\ 中文 ");
    EXPECT_EQ(store.GetNumber(kKey, "AutoSC"), 0u);
    EXPECT_EQ(store.GetNumber(kKey, "Big"), 4294967295u);
    // Wrong type or missing: nothing.
    EXPECT_FALSE(store.GetNumber(kKey, "Port"));
    EXPECT_FALSE(store.GetText(kKey, "AutoSC"));
    EXPECT_FALSE(store.GetText(kKey, "Missing"));
    EXPECT_FALSE(store.GetText("Other", "Port"));
}

TEST_F(SettingsStoreTest, MalformedLinesAreSkippedAndTheRestIsRead) {
    fs::create_directories(file_.parent_path());
    std::ofstream(file_) << "Port=text:outside any key\n"
                            "["
                         << kKey
                         << "]\n"
                            "garbage line\n"
                            "=text:no name\n"
                            "Language=dword:99999999999\n"
                            "SyncSMS=dword:-1\n"
                            "AutoSC=dword:1\r\n"
                            "Port=text:COM2\n"
                            "[Software\\Nubo\\Telvane\\Ports]\n"
                            "COM1=text:/dev/serial/by-id/usb-x";
    SettingsStore store(file_);
    EXPECT_EQ(store.ValueNames(kKey), (std::vector<std::string>{"AutoSC", "Port"}));
    EXPECT_EQ(store.GetNumber(kKey, "AutoSC"), 1u);
    EXPECT_EQ(store.GetText(kKey, "Port"), u"COM2");
    EXPECT_EQ(store.GetText("Software\\Nubo\\Telvane\\Ports", "COM1"), u"/dev/serial/by-id/usb-x");
}

TEST_F(SettingsStoreTest, FailuresAreReportedAndTheOldFileStays) {
    SettingsStore store(file_);
    ASSERT_TRUE(store.SetText(kKey, "Port", u"COM1"));
    std::string error;
    EXPECT_FALSE(store.SetText(kKey, "A=B", u"x", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(store.SetNumber("Bad]Key", "A", 1));
    EXPECT_FALSE(store.OpenKey("Two\nLines"));
    // A batch with one bad name changes nothing.
    EXPECT_FALSE(store.SetValues(kKey, {{"AutoSC", 0u}, {"Bad\nName", 1u}}));
    EXPECT_FALSE(store.GetNumber(kKey, "AutoSC"));
    EXPECT_TRUE(store.SetValues(kKey, {{"AutoSC", 0u}, {"SC", u"+852"}}));
    EXPECT_EQ(SettingsStore(file_).GetText(kKey, "SC"), u"+852");

    if (::geteuid() != 0) {  // root writes anywhere
        fs::permissions(file_.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(store.SetText(kKey, "Port", u"COM2", &error));
        EXPECT_NE(error.find("settings.conf"), std::string::npos) << error;
        bool created = true;
        EXPECT_FALSE(store.OpenKey("New", &created));
        EXPECT_FALSE(created);
        fs::permissions(file_.parent_path(), fs::perms::owner_all);
        EXPECT_EQ(SettingsStore(file_).GetText(kKey, "Port"), u"COM1");
    }
}

TEST_F(SettingsStoreTest, TheConfigFolderIsPrivateAndInterruptedSavesAreCleared) {
    const mode_t previous = ::umask(0);
    SettingsStore store(file_);
    const bool opened = store.OpenKey(kKey);
    ::umask(previous);
    ASSERT_TRUE(opened);
    EXPECT_EQ(fs::status(file_.parent_path()).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(dir_).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(file_).permissions(), fs::perms::owner_read | fs::perms::owner_write);

    std::ofstream(file_.parent_path() / ".settings.conf.tmp123") << "left by a killed save";
    SettingsStore again(file_);
    EXPECT_TRUE(again.HasKey(kKey));
    EXPECT_FALSE(fs::exists(file_.parent_path() / ".settings.conf.tmp123"));
}

TEST(SettingsStoreFile, FollowsTheEnvironment) {
    std::string home = ::getenv("TELVANE_HOME") ? ::getenv("TELVANE_HOME") : "";
    ::unsetenv("TELVANE_HOME");
    ::setenv("XDG_CONFIG_HOME", "/tmp/cfg", 1);
    EXPECT_EQ(SettingsStore::DefaultFile(), fs::path("/tmp/cfg/telvane/settings.conf"));
    ::setenv("TELVANE_HOME", "/tmp/th", 1);
    EXPECT_EQ(SettingsStore::DefaultFile(), fs::path("/tmp/th/settings.conf"));
    if (home.empty()) {
        ::unsetenv("TELVANE_HOME");
    } else {
        ::setenv("TELVANE_HOME", home.c_str(), 1);
    }
}

}  // namespace
}  // namespace telvane
