// Damaged folder and phonebook files: the user is told once, and no byte of theirs is lost.
#include <sys/stat.h>

#include <cerrno>

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "platform/files.h"
#include "store/damaged_original.h"
#include "store/folder_table.h"
#include "store/load_report.h"
#include "store/message_store.h"
#include "store/phonebook_table.h"
#include "temp_folder.h"

namespace telvane {
namespace {

namespace fs = std::filesystem;
using testing::Hex;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

SmsRecord Draft(std::u16string text) {
    return SmsRecord{-1, u"STO UNSENT", u"0912", u"", u"", std::move(text)};
}

// The copies kept beside `file`, oldest name first.
std::vector<fs::path> KeptCopies(const fs::path& file) {
    std::vector<fs::path> copies;
    for (const auto& entry : fs::directory_iterator(file.parent_path()))
        if (entry.path().string().starts_with(DamagedCopyPrefix(file)))
            copies.push_back(entry.path());
    std::sort(copies.begin(), copies.end());
    return copies;
}

unsigned Mode(const fs::path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

std::vector<LoadReport> ProblemsWith(const fs::path& file) {
    std::vector<LoadReport> mine;
    for (LoadReport& report : TakeLoadProblems())
        if (report.file == file) mine.push_back(std::move(report));
    return mine;
}

TEST(DamagedFolder, NegativeCountIsReportedOnceReadWholeAndKeptBeforeTheSave) {
    TempFolder dir;
    const fs::path file = dir / "smsdraft.acr";
    FolderTable two;
    two.Add(Draft(u"Hello there"));
    two.Add(Draft(u"Call me at six"));
    std::string bytes = EncodeFolder(two);
    bytes.replace(0, 4, Hex("ffffffff"));
    ASSERT_EQ(bytes.size(), 166u);
    WriteBytes(file, bytes);

    MessageStore store(dir.path());
    EXPECT_EQ(store.LoadShown(FolderId::Draft), 0);
    EXPECT_TRUE(store.LastLoad().damaged);
    EXPECT_EQ(store.LastLoad().file, file);
    EXPECT_EQ(store.LastLoad().recordsRead, 2);
    EXPECT_TRUE(store.Shown().entries == two.entries);
    EXPECT_NE(store.LastError().find("smsdraft.acr"), std::string::npos) << store.LastError();
    EXPECT_NE(store.LastLoad().Describe().find("2 records"), std::string::npos);
    EXPECT_EQ(store.LoadTransfer(FolderId::Draft), 0);  // loaded again: still one report
    const std::vector<LoadReport> reports = ProblemsWith(file);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].recordsRead, 2);
    EXPECT_TRUE(KeptCopies(file).empty()) << "nothing is written by a load";

    ASSERT_EQ(store.AddShown(Draft(u"new")), 1);
    ASSERT_EQ(store.SaveShown(FolderId::Draft), 1);
    std::vector<fs::path> copies = KeptCopies(file);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(ReadBytes(copies[0]), bytes);
    EXPECT_EQ(Mode(copies[0]), 0600u);
    const std::vector<LoadReport> kept = ProblemsWith(file);
    ASSERT_EQ(kept.size(), 1u) << "the save tells where the original went";
    EXPECT_EQ(kept[0].keptAs, copies[0]);
    EXPECT_NE(kept[0].Describe().find(copies[0].string()), std::string::npos);
    FolderTable saved;
    EXPECT_TRUE(DecodeFolder(ReadBytes(file), saved));
    EXPECT_EQ(saved.usedCount, 3);

    // The file is whole now: later saves keep no more copies, and a new damage is told again.
    ASSERT_EQ(store.SaveShown(FolderId::Draft), 1);
    EXPECT_EQ(KeptCopies(file).size(), 1u);
    EXPECT_TRUE(ProblemsWith(file).empty());
    WriteBytes(file, bytes);
    EXPECT_EQ(store.LoadShown(FolderId::Draft), 0);
    EXPECT_EQ(ProblemsWith(file).size(), 1u);
    ASSERT_EQ(store.SaveShown(FolderId::Draft), 1);
    EXPECT_EQ(ProblemsWith(file).size(), 1u);
    copies = KeptCopies(file);
    ASSERT_EQ(copies.size(), 2u) << "an earlier copy is never overwritten";
    EXPECT_EQ(ReadBytes(copies[0]), bytes);
    EXPECT_EQ(ReadBytes(copies[1]), bytes);
}

TEST(DamagedFolder, OneFlippedBitIsFoundAndTheRestStillRead) {
    FolderTable ten;
    for (char16_t i = 0; i < 10; ++i)
        ten.Add(Draft(u"message " + std::u16string(1, u'0' + i)));
    const std::string whole = EncodeFolder(ten);
    const size_t recordSize = (whole.size() - 4) / 10;
    // Within a record: slot 4, status 4+20, index 4, number 4+8, extra 4, time 4, text 4+18.
    const size_t textLength = 4 + 24 + 4 + 12 + 4 + 4 + 3;
    struct Case {
        const char* what;
        size_t byte;
        int bit;
        int32_t read;
    } cases[] = {
        {"count", 0, 0, 10},
        {"text length shorter", 4 + 3 * recordSize + textLength, 0, 10},
        {"text length longer", 4 + 3 * recordSize + textLength, 1, 9},
        {"string marker", 4 + 6 * recordSize + 4, 0, 9},
        {"slot out of range", 4 + 8 * recordSize + 3, 2, 9},
    };
    for (const auto& c : cases) {
        TempFolder dir;
        std::string bytes = whole;
        bytes[c.byte] = static_cast<char>(bytes[c.byte] ^ (1 << c.bit));
        WriteBytes(dir / "smsdraft.acr", bytes);
        MessageStore store(dir.path());
        EXPECT_EQ(store.LoadShown(FolderId::Draft), 0) << c.what;
        EXPECT_TRUE(store.LastLoad().damaged) << c.what;
        EXPECT_EQ(store.LastLoad().recordsRead, c.read) << c.what;
        EXPECT_EQ(store.Shown().usedCount, c.read) << c.what;
        ASSERT_EQ(store.SaveShown(FolderId::Draft), 1) << c.what;
        const std::vector<fs::path> copies = KeptCopies(dir / "smsdraft.acr");
        ASSERT_EQ(copies.size(), 1u) << c.what;
        EXPECT_EQ(ReadBytes(copies[0]), bytes) << c.what;
    }
    EXPECT_FALSE(FolderReadsWhole(whole.substr(0, whole.size() - 1)));
    EXPECT_TRUE(FolderReadsWhole(whole));
}

TEST(DamagedFolder, UpdateRecordAndInboxRefreshKeepTheDamagedOriginal) {
    TempFolder dir;
    FolderTable outbox;
    outbox.Add(Draft(u"a"));
    outbox.Add(Draft(u"b"));
    const std::string cut = EncodeFolder(outbox) + "\x01";
    WriteBytes(dir / "smsout.acr", cut);
    const std::string inbox = EncodeFolder(outbox).substr(0, 30);
    WriteBytes(dir / "smsin.acr", inbox);

    MessageStore store(dir.path());
    ASSERT_EQ(store.UpdateRecord(FolderId::Outbox, 1, Draft(u"b, served")), 1);
    EXPECT_TRUE(store.LastLoad().damaged);
    ASSERT_EQ(KeptCopies(dir / "smsout.acr").size(), 1u);
    EXPECT_EQ(ReadBytes(KeptCopies(dir / "smsout.acr")[0]), cut);

    // The Inbox is replaced without being loaded first; its damaged bytes are kept all the same.
    struct NoMessages : MessageListing {
        int32_t ListingSize() const override { return 0; }
        SmsRecord ListingEntry(int32_t) const override { return {}; }
    };
    ASSERT_EQ(store.RefreshInboxFromModem(NoMessages()), 1);
    ASSERT_EQ(KeptCopies(dir / "smsin.acr").size(), 1u);
    EXPECT_EQ(ReadBytes(KeptCopies(dir / "smsin.acr")[0]), inbox);
}

TEST(DamagedPhonebook, CapacityMinusOneKeepsItsEntriesAndARefusedAddWritesNothing) {
    TempFolder dir;
    const fs::path file = dir / "simpbk.acr";
    const std::string bytes =
        Hex("14000000 0e000000 ffffffff") +
        Hex("00000000 01000000 fffeff03 4100 6e00 6e00 fffeff03 3100 3200 3300") +
        Hex("01000000 02000000 fffeff01 4200 fffeff01 3900");
    ASSERT_EQ(bytes.size(), 60u);
    WriteBytes(file, bytes);

    PhonebookTable table;
    EXPECT_EQ(table.LoadFile(file), 0);
    EXPECT_TRUE(table.LastLoad().damaged);
    EXPECT_EQ(table.LastLoad().recordsRead, 2);
    EXPECT_EQ(table.Limits(), (PhonebookLimits{20, 14, 2}));
    ASSERT_EQ(table.Entries().size(), 2u);
    EXPECT_EQ(table.Entries()[0], (PhonebookEntry{0, 1, u"Ann", u"123"}));
    EXPECT_EQ(table.Entries()[1], (PhonebookEntry{1, 2, u"B", u"9"}));
    EXPECT_EQ(ProblemsWith(file).size(), 1u);

    // Refused edits change nothing, so the save that follows them writes nothing.
    EXPECT_EQ(table.AddEntry(u"Carl", u"555"), 0);
    EXPECT_EQ(table.DeleteEntry(3), 0);
    EXPECT_EQ(table.UpdateEntry(0, u"x", u"1"), 0);
    ASSERT_EQ(table.SaveFile(file), 1);
    EXPECT_EQ(ReadBytes(file), bytes);
    EXPECT_TRUE(KeptCopies(file).empty());

    // An accepted edit is saved, over a kept copy of the original.
    ASSERT_EQ(table.UpdateEntry(2, u"Bo", u"9"), 1);
    ASSERT_EQ(table.SaveFile(file), 1);
    const std::vector<fs::path> copies = KeptCopies(file);
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(ReadBytes(copies[0]), bytes);
    EXPECT_EQ(Mode(copies[0]), 0600u);
    PhonebookTable back;
    EXPECT_EQ(back.LoadFile(file), 1);
    EXPECT_EQ(back.Entries()[1].name, u"Bo");
}

TEST(DamagedPhonebook, ReadingResumesAfterADamagedEntry) {
    PhonebookTable five;
    five.SetLimits(20, 14, 6);
    for (const char16_t* name : {u"Ann", u"Ben", u"Cat", u"Dan", u"Eve"})
        five.AddEntry(name, u"123");
    const std::string whole = five.Encode();
    // The third string marker of the file is Ben's name.
    size_t marker = 0;
    for (int i = 0; i < 3; ++i)
        marker = whole.find("\xFF\xFE\xFF", i == 0 ? 0 : marker + 1);
    ASSERT_NE(marker, std::string::npos);
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"marker", std::string(whole).replace(marker, 1, "\x7F")},
        {"length past the end", std::string(whole).replace(marker + 3, 1, "\xFF")},
        {"bytes lost", std::string(whole).erase(marker + 2, 5)},
    };
    for (const Case& c : cases) {
        PhonebookTable table;
        EXPECT_FALSE(table.Decode(c.bytes)) << c.what;
        ASSERT_EQ(table.Entries().size(), 6u) << c.what;
        EXPECT_EQ(table.Limits().capacity, 6) << c.what;
        EXPECT_EQ(table.Entries()[0].name, u"Ann") << c.what;
        EXPECT_TRUE(table.Entries()[1].IsEmpty()) << c.what;
        // Each after the damage, at its own position.
        for (size_t p = 2; p < 5; ++p) {
            EXPECT_EQ(table.Entries()[p], five.Entries()[p]) << c.what << " " << p;
        }
        EXPECT_TRUE(table.Entries()[5].IsEmpty()) << c.what;
    }
}

TEST(DamagedFile, NoCopyNoSave) {
    TempFolder dir;
    const fs::path file = dir / "smssave.acr";
    WriteBytes(file, Hex("02000000"));
    MessageStore store(dir.path());
    store.AddShown(Draft(u"x"));
    PhonebookTable phonebook;
    phonebook.SetLimits(20, 14, 1);
    WriteBytes(dir / "simpbk.acr", Hex("14000000"));
    {
        ScopedWriteFault full(ENOSPC);
        EXPECT_EQ(store.SaveShown(FolderId::Saved), 0);
        EXPECT_EQ(phonebook.SaveFile(dir / "simpbk.acr"), 0);
    }
    for (const std::string& error : {store.LastError(), phonebook.LastError()}) {
        EXPECT_NE(error.find("cannot keep the damaged"), std::string::npos) << error;
        EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    }
    EXPECT_EQ(ReadBytes(file), Hex("02000000"));
    EXPECT_EQ(ReadBytes(dir / "simpbk.acr"), Hex("14000000"));
    EXPECT_TRUE(KeptCopies(file).empty());
}

TEST(FullDisk, AFailedSaveNamesFileOperationAndReasonAndChangesNothing) {
    TempFolder dir;
    MessageStore store(dir.path());
    store.AddShown(Draft(u"kept"));
    ASSERT_EQ(store.SaveShown(FolderId::Outbox), 1);
    PhonebookTable phonebook;
    phonebook.SetLimits(20, 14, 2);
    ASSERT_EQ(phonebook.SaveFile(dir / "simpbk.acr"), 1);
    const std::string outbox = ReadBytes(dir / "smsout.acr");
    const std::string entries = ReadBytes(dir / "simpbk.acr");

    store.AddShown(Draft(u"new"));
    const FolderTable shown = store.Shown();
    ASSERT_EQ(phonebook.AddEntry(u"Ann", u"1"), 1);
    {
        ScopedWriteFault full(ENOSPC);
        EXPECT_EQ(store.SaveShown(FolderId::Outbox), 0);
        EXPECT_EQ(store.UpdateRecord(FolderId::Outbox, 0, Draft(u"served")), 0);
        EXPECT_EQ(phonebook.SaveFile(dir / "simpbk.acr"), 0);
    }
    EXPECT_EQ(store.LastError(),
              "cannot write " + (dir / "smsout.acr").string() + ": No space left on device");
    EXPECT_EQ(phonebook.LastError(),
              "cannot write " + (dir / "simpbk.acr").string() + ": No space left on device");
    EXPECT_TRUE(store.Shown().entries == shown.entries);
    EXPECT_EQ(ReadBytes(dir / "smsout.acr"), outbox);
    EXPECT_EQ(ReadBytes(dir / "simpbk.acr"), entries);

    // The change is still pending: the next save that can write, writes it.
    ASSERT_EQ(phonebook.SaveFile(dir / "simpbk.acr"), 1);
    PhonebookTable back;
    ASSERT_EQ(back.LoadFile(dir / "simpbk.acr"), 1);
    EXPECT_EQ(back.Entries()[0].name, u"Ann");
}

}  // namespace
}  // namespace telvane
