#include <sys/stat.h>

#include <gtest/gtest.h>

#include <vector>

#include "store/folder_table.h"
#include "store/list_date.h"
#include "store/message_store.h"
#include "temp_folder.h"

namespace telvane {
namespace {

using testing::Hex;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

SmsRecord Record(std::u16string text, int32_t index = -1) {
    return SmsRecord{index,          u"REC READ", u"+886912345678", u"", u"01/08/18,03:44:56+32",
                     std::move(text)};
}

const std::string kEmptyString = Hex("ff fe ff 00");

// One record with every string empty at slot 0: slot, status, index, number, extra, time, text.
const std::string kAllEmptyFolder = Hex("01000000 00000000") + kEmptyString + Hex("ffffffff") +
                                    kEmptyString + kEmptyString + kEmptyString + kEmptyString;

std::vector<int32_t> UsedSlots(const FolderTable& table) {
    std::vector<int32_t> used;
    for (int32_t p = 0; p < kFolderSlots; ++p)
        if (table.IsUsed(p)) used.push_back(p);
    return used;
}

TEST(FolderFile, EncodesByteForByte) {
    FolderTable table;
    EXPECT_EQ(EncodeFolder(table), Hex("00000000"));

    EXPECT_EQ(table.Add(SmsRecord{}), 1);
    EXPECT_EQ(EncodeFolder(table), kAllEmptyFolder);

    table.Clear();
    table.Add(SmsRecord{7, u"REC UNREAD", u"+1", u"", u"", u"Hi\r\n\u4e2d"});
    EXPECT_EQ(EncodeFolder(table),
              Hex("01000000 00000000"
                  "fffeff0a 5200 4500 4300 2000 5500 4e00 5200 4500 4100 4400"  // status
                  "07000000"                                                    // index
                  "fffeff02 2b00 3100"                                          // number
                  "fffeff00 fffeff00"                                           // extra, time
                  "fffeff05 4800 6900 0d00 0a00 2d4e"));                        // text
}

TEST(FolderFile, HolesSurviveSaveAndLoadAndTheNextAddFillsThem) {
    TempFolder dir;
    MessageStore store(dir.path());
    for (int i = 0; i < 6; ++i)
        ASSERT_EQ(store.AddShown(Record(u"m" + std::u16string(1, char16_t(u'0' + i)))), 1);
    store.RemoveShown(3);
    store.RemoveShown(3);    // already free
    store.RemoveShown(200);  // out of range
    store.RemoveShown(-1);
    EXPECT_EQ(store.Shown().usedCount, 5);
    ASSERT_EQ(store.SaveShown(FolderId::Draft), 1);

    const std::string bytes = ReadBytes(dir / "smsdraft.acr");
    FolderTable read;
    ASSERT_TRUE(DecodeFolder(bytes, read));
    EXPECT_EQ(read.usedCount, 5);
    EXPECT_EQ(UsedSlots(read), (std::vector<int32_t>{0, 1, 2, 4, 5}));
    EXPECT_EQ(bytes.substr(0, 8), Hex("05000000 00000000"));

    MessageStore other(dir.path());
    ASSERT_EQ(other.LoadTransfer(FolderId::Draft), 1);
    EXPECT_EQ(other.Transfer().entries[4].record, Record(u"m4"));
    EXPECT_FALSE(other.Transfer().IsUsed(3));
    EXPECT_EQ(other.AddTransfer(Record(u"new")), 1);
    EXPECT_EQ(other.Transfer().entries[3].record.text, u"new");
    EXPECT_EQ(other.Transfer().usedCount, 6);
}

TEST(FolderFile, TheTwoHundredFirstAddIsRefused) {
    FolderTable table;
    for (int i = 0; i < kFolderSlots; ++i)
        ASSERT_EQ(table.Add(Record(u"x")), 1);
    const FolderTable before = table;
    EXPECT_EQ(table.Add(Record(u"one too many")), 0);
    EXPECT_EQ(table.usedCount, kFolderSlots);
    EXPECT_TRUE(table.entries == before.entries);
}

TEST(FolderFile, DamagedFilesKeepWhatWasReadAndCountOnlyThat) {
    const std::string record0 = kAllEmptyFolder.substr(4);
    std::string record7 = record0;
    record7[0] = 7;
    std::string record250 = record0;
    record250[0] = static_cast<char>(250);
    std::string recordMinus = record0;
    recordMinus.replace(0, 4, Hex("ffffffff"));
    struct Case {
        const char* what;
        std::string bytes;
        std::vector<int32_t> used;
    } cases[] = {
        {"empty file", "", {}},
        {"count cut short", Hex("0100"), {}},
        {"count larger than the records", Hex("05000000") + record0 + record7, {0, 7}},
        {"huge count", Hex("ffffff7f") + record7, {7}},
        {"negative count", Hex("ffffffff") + record0, {0}},
        {"smaller count", Hex("01000000") + record0 + record7, {0, 7}},
        {"last record cut short", Hex("02000000") + record7 + record0.substr(0, 20), {7}},
        {"corrupt marker in the second record",
         Hex("02000000") + record7 + record0.substr(0, 4) + Hex("00fe ff00"),
         {7}},
        {"slot above 199 skipped", Hex("03000000") + record0 + record250 + record7, {0, 7}},
        {"negative slot skipped", Hex("02000000") + recordMinus + record7, {7}},
        {"slot listed twice", Hex("02000000") + record7 + record7, {7}},
        {"trailing bytes", kAllEmptyFolder + "xyz", {0}},
        {"garbage between records, read on after it",
         Hex("03000000") + record0 + "\x07\x00\x00\x00\xff" + record7,
         {0, 7}},
    };
    for (const auto& c : cases) {
        FolderTable table;
        table.Add(Record(u"stale"));
        EXPECT_FALSE(DecodeFolder(c.bytes, table)) << c.what;
        EXPECT_EQ(UsedSlots(table), c.used) << c.what;
        EXPECT_EQ(table.usedCount, static_cast<int32_t>(c.used.size())) << c.what;
        for (int32_t p = 0; p < kFolderSlots; ++p)
            if (!table.IsUsed(p)) {
                EXPECT_EQ(table.entries[size_t(p)].record, SmsRecord{});
            }
    }
    // A damaged file can no longer make a half-empty table refuse adds.
    FolderTable table;
    DecodeFolder(Hex("c8000000") + record7, table);
    EXPECT_EQ(table.Add(Record(u"fits")), 1);
}

TEST(MessageStore, LoadReportsMissingDamagedAndWrongFolders) {
    TempFolder dir;
    MessageStore store(dir.path());
    store.AddShown(Record(u"old"));
    EXPECT_EQ(store.LoadShown(FolderId::Sent), 1);  // no file yet: an empty folder
    EXPECT_EQ(store.Shown().usedCount, 0);

    WriteBytes(dir / "smssent.acr", Hex("02000000") + kAllEmptyFolder.substr(4, 10));
    EXPECT_EQ(store.LoadShown(FolderId::Sent), 0);
    EXPECT_NE(store.LastError().find("smssent.acr"), std::string::npos);

    store.AddShown(Record(u"kept"));
    EXPECT_EQ(store.LoadShown(static_cast<FolderId>(5)), 0);
    EXPECT_EQ(store.SaveShown(static_cast<FolderId>(-1)), 0);
    EXPECT_EQ(store.Shown().usedCount, 1);
}

TEST(MessageStore, SavesWithModeSixHundredAndReportsAFailedSave) {
    TempFolder dir;
    MessageStore store(dir.path());
    store.AddShown(Record(u"private"));
    ASSERT_EQ(store.SaveShown(FolderId::Saved), 1);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "smssave.acr").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadBytes(dir / "smssave.acr"), EncodeFolder(store.Shown()));

    // The Outbox's file name is taken by a folder: the save cannot replace it.
    std::filesystem::create_directories(dir / "smsout.acr" / "x");
    const FolderTable before = store.Shown();
    EXPECT_EQ(store.SaveShown(FolderId::Outbox), 0);
    EXPECT_NE(store.LastError().find("smsout.acr"), std::string::npos) << store.LastError();
    EXPECT_TRUE(store.Shown().entries == before.entries);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "smsout.acr" / "x"));

    MessageStore nowhere(dir / "missing");
    EXPECT_EQ(nowhere.SaveTransfer(FolderId::Inbox), 0);
    EXPECT_FALSE(nowhere.LastError().empty());
}

TEST(MessageStore, UpdateRecordRewritesOneRecordOfTheFileAndNothingElse) {
    TempFolder dir;
    MessageStore store(dir.path());
    for (int i = 0; i < 3; ++i)
        store.AddTransfer(Record(u"out" + std::u16string(1, char16_t(u'0' + i))));
    store.RemoveTransfer(1);
    ASSERT_EQ(store.SaveTransfer(FolderId::Outbox), 1);
    store.AddShown(Record(u"shown"));
    const FolderTable shown = store.Shown();
    const FolderTable transfer = store.Transfer();

    SmsRecord served = Record(u"out2");
    served.number.clear();
    served.extra = u"+886912345678";
    EXPECT_EQ(store.UpdateRecord(FolderId::Outbox, 2, served), 1);
    FolderTable file;
    ASSERT_TRUE(DecodeFolder(ReadBytes(dir / "smsout.acr"), file));
    EXPECT_EQ(UsedSlots(file), (std::vector<int32_t>{0, 2}));
    EXPECT_EQ(file.entries[2].record, served);
    EXPECT_EQ(file.entries[0].record, Record(u"out0"));
    EXPECT_TRUE(store.Shown().entries == shown.entries);
    EXPECT_TRUE(store.Transfer().entries == transfer.entries);

    // A free position, a folder with no file and a wrong id write nothing.
    const std::string before = ReadBytes(dir / "smsout.acr");
    for (int32_t position : {1, -1, 200}) {
        EXPECT_EQ(store.UpdateRecord(FolderId::Outbox, position, served), 0) << position;
        EXPECT_NE(store.LastError().find("smsout.acr"), std::string::npos) << store.LastError();
    }
    EXPECT_EQ(ReadBytes(dir / "smsout.acr"), before);
    EXPECT_EQ(store.UpdateRecord(FolderId::Saved, 0, served), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "smssave.acr"));
    EXPECT_EQ(store.UpdateRecord(static_cast<FolderId>(7), 0, served), 0);
}

class FakeListing : public MessageListing {
  public:
    explicit FakeListing(int32_t size) : size_(size) {}
    int32_t ListingSize() const override { return size_; }
    SmsRecord ListingEntry(int32_t position) const override {
        if (position < 0 || position >= size_) return SmsRecord{};
        return Record(u"sim " + std::u16string(1, char16_t(u'A' + position % 26)), position + 1);
    }

  private:
    int32_t size_;
};

TEST(MessageStore, RefreshInboxMirrorsTheListing) {
    TempFolder dir;
    MessageStore store(dir.path());
    for (int i = 0; i < 5; ++i)
        store.AddShown(Record(u"gone"));
    store.RemoveShown(1);

    EXPECT_EQ(store.RefreshInboxFromModem(FakeListing(3)), 1);
    EXPECT_EQ(UsedSlots(store.Shown()), (std::vector<int32_t>{0, 1, 2}));
    EXPECT_EQ(store.Shown().entries[2].record, FakeListing(3).ListingEntry(2));
    EXPECT_EQ(store.Shown().entries[3].record, SmsRecord{});
    EXPECT_EQ(ReadBytes(dir / "smsin.acr"), EncodeFolder(store.Shown()));

    EXPECT_EQ(store.RefreshInboxFromModem(FakeListing(0)), 1);
    EXPECT_EQ(store.Shown().usedCount, 0);
    EXPECT_EQ(ReadBytes(dir / "smsin.acr"), Hex("00000000"));

    EXPECT_EQ(store.RefreshInboxFromModem(FakeListing(250)), 1);
    EXPECT_EQ(store.Shown().usedCount, kFolderSlots);
    EXPECT_EQ(store.Shown().entries[199].record.index, 200);
}

TEST(ListDate, FormatsDayMonthYearAndClock) {
    struct Case {
        std::u16string_view stamp;
        std::u16string_view shown;
    } cases[] = {
        {u"", u""},
        {u"01/08/18,03:44:56", u"18/8/01 03:44:56"},
        {u"99/12/31,23:59:59+32", u"31/12/99 23:59:59"},
        {u"26/01/05,00:00:00-04", u"5/1/26 00:00:00"},
        {u"01/08/18", u"18/8/01 "},  // cut short: no clock, nothing read past the end
        {u"7", u"0/0/07 "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatListDate(c.stamp), c.shown) << std::string(c.stamp.begin(), c.stamp.end());
}

TEST(ListDate, LocalTimeStampHasTheModemsForm) {
    const std::u16string stamp = MakeLocalTimeStamp();
    ASSERT_EQ(stamp.size(), 17u);
    for (size_t i = 0; i < stamp.size(); ++i) {
        const char16_t expected = i == 8                 ? u','
                                  : (i == 2 || i == 5)   ? u'/'
                                  : (i == 11 || i == 14) ? u':'
                                                         : 0;
        if (expected) {
            EXPECT_EQ(stamp[i], expected) << i;
        } else {
            EXPECT_TRUE(stamp[i] >= u'0' && stamp[i] <= u'9') << i;
        }
    }
    EXPECT_TRUE(FormatListDate(stamp).ends_with(u" " + stamp.substr(9)));
}

}  // namespace
}  // namespace telvane
