// A save killed at any moment must leave the previous file or the new one, never a mix.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "store/message_store.h"
#include "store/phonebook_table.h"
#include "temp_folder.h"

namespace telvane {
namespace {

using testing::ReadBytes;
using testing::TempFolder;

FolderTable FullFolder(char16_t fill) {
    FolderTable table;
    for (int i = 0; i < kFolderSlots; ++i)
        table.Add(SmsRecord{i, u"REC READ", u"+886912345678", u"", u"26/12/10,05:30:00+32",
                            std::u16string(160, fill)});
    return table;
}

TEST(InterruptedSave, LeavesTheOldOrTheNewFolderFile) {
    TempFolder dir;
    const std::string a = EncodeFolder(FullFolder(u'a'));
    const std::string b = EncodeFolder(FullFolder(u'b'));
    MessageStore store(dir.path());
    for (int i = 0; i < kFolderSlots; ++i)
        store.AddShown(FullFolder(u'a').entries[size_t(i)].record);
    ASSERT_EQ(store.SaveShown(FolderId::Saved), 1);

    for (int round = 0; round < 12; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            MessageStore writer(dir.path());
            for (unsigned n = 0;; ++n) {
                // The child is killed mid-save; what it finds on disk is the test's to judge.
                static_cast<void>(writer.LoadShown(FolderId::Saved));
                // Flip every text between 'a' and 'b' and save: each save replaces the whole file.
                for (int p = 0; p < kFolderSlots; ++p) {
                    SmsRecord* r = writer.ShownRecord(p);
                    if (r) r->text.assign(160, n % 2 ? u'a' : u'b');
                }
                static_cast<void>(writer.SaveShown(FolderId::Saved));
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5 + 7 * round));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const std::string now = ReadBytes(dir / "smssave.acr");
        EXPECT_TRUE(now == a || now == b) << "round " << round << ": " << now.size() << " bytes";
    }
}

TEST(InterruptedSave, LeavesTheOldOrTheNewPhonebookFile) {
    TempFolder dir;
    const auto path = dir / "simpbk.acr";
    PhonebookTable tables[2];
    for (int t = 0; t < 2; ++t) {
        tables[t].SetLimits(20, 14, 250);
        for (int i = 0; i < 250; ++i)
            tables[t].AddEntry(std::u16string(14, t ? u'y' : u'x'), u"+886912345678");
    }
    ASSERT_EQ(tables[0].SaveFile(path), 1);
    for (int round = 0; round < 8; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (unsigned n = 0;; ++n)
                static_cast<void>(tables[n % 2].SaveFile(path));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(3 + 5 * round));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        PhonebookTable read;
        EXPECT_EQ(read.LoadFile(path), 1) << "round " << round;
        EXPECT_TRUE(read.Entries() == tables[0].Entries() || read.Entries() == tables[1].Entries());
    }
}

}  // namespace
}  // namespace telvane
