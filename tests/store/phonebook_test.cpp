#include <gtest/gtest.h>

#include "store/phonebook_table.h"
#include "temp_folder.h"

namespace telvane {
namespace {

using testing::Hex;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

const std::string kEmptyEntry = Hex("00000000 00000000 fffeff00 fffeff00");

TEST(PhonebookTable, HundredPositionsAreAllWritten) {
    PhonebookTable table;
    ASSERT_EQ(table.SetLimits(20, 14, 100), 1);
    EXPECT_EQ(table.Limits(), (PhonebookLimits{20, 14, 100}));
    std::string expected = Hex("14000000 0e000000 64000000");
    for (int i = 0; i < 100; ++i)
        expected += kEmptyEntry;
    EXPECT_EQ(table.Encode(), expected);

    table.StoreFromSim(2, u"Ann", u"+4412");
    expected.replace(12 + 16, 16,
                     Hex("00000000 02000000 fffeff03 4100 6e00 6e00 fffeff05 2b00 3400 3400 3100 "
                         "3200"));
    EXPECT_EQ(table.Encode(), expected);

    TempFolder dir;
    ASSERT_EQ(table.SaveFile(dir / "simpbk.acr"), 1);
    EXPECT_EQ(ReadBytes(dir / "simpbk.acr"), expected);
    PhonebookTable back;
    EXPECT_EQ(back.LoadFile(dir / "simpbk.acr"), 1);
    EXPECT_EQ(back.Limits(), table.Limits());
    EXPECT_EQ(back.Entries(), table.Entries());
}

TEST(PhonebookTable, AddCutsToTheLimitsAndFillsTheFirstEmptyPosition) {
    PhonebookTable table;
    table.SetLimits(4, 14, 3);
    table.StoreFromSim(1, u"Sim", u"1");
    EXPECT_EQ(table.AddEntry(u"Sixteen chars!!!", u"123456"), 1);
    EXPECT_EQ(table.Entries()[1], (PhonebookEntry{1, 2, u"Sixteen chars!", u"1234"}));
    EXPECT_EQ(table.AddEntry(u"", u"5"), 1);
    EXPECT_EQ(table.AddEntry(u"full", u"6"), 0);
    EXPECT_EQ(table.Entries()[2].number, u"5");

    table.SetLimits(4, 3, 3);
    EXPECT_EQ(table.AddEntry(u"ab\U0001F600", u"1"), 1);  // a pair is kept whole or not at all
    EXPECT_EQ(table.Entries()[0].name, u"ab");

    PhonebookTable unallocated;
    EXPECT_EQ(unallocated.AddEntry(u"a", u"1"), 0);
}

TEST(PhonebookTable, DeleteThenWriteToSimFreesThePosition) {
    PhonebookTable table;
    table.SetLimits(20, 14, 10);
    for (int i = 1; i <= 6; ++i)
        table.StoreFromSim(i, u"n", u"1");
    EXPECT_EQ(table.DeleteEntry(5), 1);
    EXPECT_EQ(table.Entries()[4], (PhonebookEntry{1, 5, u"", u""}));
    EXPECT_EQ(table.DeleteEntry(5), 0);  // already empty
    table.MarkWritten(4);
    EXPECT_EQ(table.Entries()[4], (PhonebookEntry{0, 0, u"", u""}));
    EXPECT_EQ(table.AddEntry(u"x", u"2"), 1);
    EXPECT_EQ(table.Entries()[4], (PhonebookEntry{1, 5, u"x", u"2"}));
    table.MarkWritten(4);
    EXPECT_EQ(table.Entries()[4], (PhonebookEntry{0, 5, u"x", u"2"}));
}

TEST(PhonebookTable, IndexesOutsideOneToCapacityAreRejected) {
    PhonebookTable table;
    table.SetLimits(3, 3, 5);
    table.StoreFromSim(5, u"last", u"9");
    for (int32_t index : {0, -1, 6, -2147483647 - 1}) {
        EXPECT_EQ(table.UpdateEntry(index, u"a", u"1"), 0) << index;
        EXPECT_EQ(table.DeleteEntry(index), 0) << index;
        table.StoreFromSim(index, u"x", u"1");
        table.MarkWritten(index);
    }
    EXPECT_EQ(table.UpdateEntry(5, u"not cut to limits", u"123456"), 1);
    EXPECT_EQ(table.Entries()[4], (PhonebookEntry{1, 5, u"not cut to limits", u"123456"}));
    for (size_t p = 0; p < 4; ++p)
        EXPECT_EQ(table.Entries()[p], PhonebookEntry{}) << p;

    EXPECT_EQ(table.SetLimits(20, 14, kMaxPhonebookCapacity + 1), 0);
    EXPECT_EQ(table.SetLimits(20, -1, 10), 0);
    EXPECT_EQ(table.Limits().capacity, 5);
}

TEST(PhonebookTable, DamagedFilesKeepWhatWasRead) {
    const std::string limits3 = Hex("14000000 0e000000 03000000");
    const std::string ann = Hex("01000000 01000000 fffeff01 4100 fffeff01 3100");
    struct Case {
        const char* what;
        std::string bytes;
        PhonebookLimits limits;
        size_t filled;  // leading entries equal to `ann`
    } cases[] = {
        {"empty file", "", {}, 0},
        {"limits cut short", Hex("14000000 0e000000"), {}, 0},
        // A damaged capacity keeps the entries the file still holds.
        {"capacity above 10000", Hex("14000000 0e000000 11270000") + ann, {20, 14, 1}, 1},
        {"negative capacity", Hex("14000000 0e000000 ffffffff") + ann + ann, {20, 14, 2}, 2},
        {"negative text limit", Hex("14000000 ffffffff 01000000") + ann, {20, 0, 1}, 1},
        {"entries cut short", limits3 + ann + ann.substr(0, 9), {20, 14, 3}, 1},
        {"bad string", limits3 + ann + Hex("00000000 00000000 41"), {20, 14, 3}, 1},
        {"string longer than the file",
         limits3 + ann + Hex("00000000 00000000 fffeff40 4100"),
         {20, 14, 3},
         1},
        {"trailing bytes", limits3 + ann + ann + ann + "?", {20, 14, 3}, 3},
    };
    TempFolder dir;
    for (const auto& c : cases) {
        WriteBytes(dir / "simpbk.acr", c.bytes);
        PhonebookTable table;
        table.SetLimits(1, 1, 7);
        EXPECT_EQ(table.LoadFile(dir / "simpbk.acr"), 0) << c.what;
        EXPECT_FALSE(table.LastError().empty()) << c.what;
        EXPECT_EQ(table.Limits(), c.limits) << c.what;
        ASSERT_EQ(table.Entries().size(), size_t(c.limits.capacity)) << c.what;
        const PhonebookEntry read{1, 1, u"A", u"1"};
        for (size_t p = 0; p < table.Entries().size(); ++p)
            EXPECT_EQ(table.Entries()[p], p < c.filled ? read : PhonebookEntry{}) << c.what << p;
    }
}

TEST(PhonebookTable, MissingFileGivesAnEmptyTableAndFailedSaveKeepsTheOld) {
    TempFolder dir;
    PhonebookTable table;
    table.SetLimits(20, 14, 2);
    EXPECT_EQ(table.LoadFile(dir / "none.acr"), 1);
    EXPECT_EQ(table.Limits(), PhonebookLimits{});
    EXPECT_TRUE(table.Entries().empty());

    table.SetLimits(20, 14, 2);
    table.AddEntry(u"a", u"1");
    const auto before = table.Entries();
    EXPECT_EQ(table.SaveFile(dir / "no" / "simpbk.acr"), 0);
    EXPECT_NE(table.LastError().find("simpbk.acr"), std::string::npos);
    EXPECT_EQ(table.Entries(), before);
}

}  // namespace
}  // namespace telvane
