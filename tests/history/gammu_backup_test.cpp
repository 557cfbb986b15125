#include "history/gammu_backup.h"

#include <gtest/gtest.h>

#include "history/history_db.h"
#include "history_fixture.h"

namespace telvane::testing {
namespace {

// As `gammu backupsms` writes a received message and a sent one (CR LF, comments, Unicode fields).
constexpr std::string_view kGammuWritten =
    "; This file format was designed for Gammu and is compatible with Gammu+\r\n"
    "; See <https://wammu.eu/formats/> for more info\r\n"
    "; Saved 20261211T060708 (Fri 11 Dec 2026 06:07:08 AM UTC)\r\n"
    "\r\n"
    "[SMSBackup000]\r\n"
    "; Hello there\r\n"
    "SMSC = \"+886935874443\"\r\n"
    "SMSCUnicode = 002B003800380036003900330035003800370034003400340033\r\n"
    "PDU = Deliver\r\n"
    "DateTime = 20261211T060708Z\r\n"
    "State = Read\r\n"
    "Number = \"+886912345678\"\r\n"
    "NumberUnicode = 002B003800380036003900310032003300340035003600370038\r\n"
    "Name = \"\"\r\n"
    "NameUnicode = \r\n"
    "Text00 = 00480065006C006C006F0020007400680065007200650\r\n"  // odd length: damaged
    "Coding = Default_No_Compression\r\n"
    "Folder = 1\r\n"
    "\r\n"
    "[SMSBackup001]\r\n"
    "SMSC = \"\"\r\n"
    "PDU = Deliver\r\n"
    "DateTime = 20261211T060708Z\r\n"
    "State = UnRead\r\n"
    "Number = \"+886912345678\"\r\n"
    "NumberUnicode = 002B003800380036003900310032003300340035003600370038\r\n"
    "Text00 = 4F60597D\r\n"
    "Coding = Unicode_No_Compression\r\n"
    "Folder = 1\r\n"
    "\r\n"
    "[SMSBackup002]\r\n"
    "PDU = Submit\r\n"
    "State = Sent\r\n"
    "Number = \"0922000111\"\r\n"
    "UDH = 050003420202\r\n"
    "Text00 = 00200070006100720074002000740077006F\r\n"
    "Coding = Default_No_Compression\r\n"
    "Folder = 2\r\n"
    "\r\n"
    "[SMSBackup003]\r\n"
    "PDU = Submit\r\n"
    "State = Sent\r\n"
    "Number = \"0922000111\"\r\n"
    "UDH = 050003420201\r\n"
    "Text00 = 0070006100720074002000\r\n"
    "Text01 = 6F006E0065\r\n"
    "Coding = Default_No_Compression\r\n"
    "Folder = 2\r\n"
    "\r\n"
    "[Checksum]\r\n"
    "MD5 = 0\r\n";

TEST(GammuBackup, ReadsGammusFileJoiningPartsAndSkippingDamage) {
    int skipped = 0;
    const auto messages = ReadGammuBackup(kGammuWritten, &skipped);
    EXPECT_EQ(skipped, 1);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].number, u"+886912345678");
    EXPECT_EQ(messages[0].text, u"你好");
    EXPECT_EQ(messages[0].timeText, u"26/12/11,06:07:08");
    EXPECT_EQ(messages[0].direction, HistoryDirection::kIn);
    EXPECT_TRUE(messages[0].unread);
    EXPECT_EQ(messages[1].number, u"0922000111");
    EXPECT_EQ(messages[1].text, u"part one part two");
    EXPECT_EQ(messages[1].direction, HistoryDirection::kOut);
}

TEST(GammuBackup, WhatIsWrittenReadsBackTheSame) {
    std::u16string chinese;
    for (int i = 0; i < 150; ++i)
        chinese += static_cast<char16_t>(0x4E00 + i);
    const std::vector<HistoryMessage> written = {
        Msg(u"+886912345678", u"26/12/11,06:07:08", u"short \"quoted\" \\ line\r\nbreak"),
        Msg(u"0922000111", u"26/12/11,06:08:00", std::u16string(400, u'x') + u"{end}",
            HistoryDirection::kOut),
        Msg(u"0922000111", u"26/12/11,06:09:00", chinese, HistoryDirection::kIn, u"陳小明"),
        Msg(u"MyBank", u"26/12/11,06:10:00", std::u16string(200, u'€')),
        Msg(u"123", u"", u"", HistoryDirection::kOut),
    };
    const std::string file = WriteGammuBackup(written);
    int skipped = -1;
    const auto read = ReadGammuBackup(file, &skipped);
    EXPECT_EQ(skipped, 0);
    ASSERT_EQ(read.size(), written.size());
    for (size_t i = 0; i < read.size(); ++i) {
        EXPECT_EQ(read[i].number, written[i].number) << i;
        EXPECT_EQ(read[i].text, written[i].text) << i;
        EXPECT_EQ(read[i].timeText, written[i].timeText) << i;
        EXPECT_EQ(read[i].direction, written[i].direction) << i;
        EXPECT_EQ(read[i].name, written[i].name) << i;
    }
    // Parts no bigger than one message each: 400 septets in 3, 150 UCS-2 units in 3.
    EXPECT_NE(file.find("UDH = 050003"), std::string::npos);
    EXPECT_NE(file.find("0303\r\n"), std::string::npos);
}

TEST_F(HistoryTest, ImportingABackupTwiceAddsNothingTheSecondTime) {
    OpenWriter();
    const auto messages = ReadGammuBackup(kGammuWritten);
    EXPECT_EQ(db_.Store(messages).added, 2);
    const auto again = db_.Store(ReadGammuBackup(kGammuWritten));
    EXPECT_TRUE(again.ok);
    EXPECT_EQ(again.added, 0);
    EXPECT_EQ(db_.Count(), 2);
}

TEST(GammuBackup, HostileInputNeverCrashes) {
    const std::string_view inputs[] = {
        "",
        "[SMSBackup",
        "[SMSBackup000]\nNumber\nText00 = zz\n",
        "[SMSBackup000]\nNumber = \"\nText00 = 00\nUDH = 05\n",
        "[SMSBackup000]\nNumber = 1\nUDH = FF0003010909\nText00 = 0041\n",
        "[SMSBackup000]\nNumber = 1\nUDH = 050003010003\nText00 = 0041\nDateTime = 2026T\n",
    };
    for (std::string_view input : inputs) {
        auto messages = ReadGammuBackup(input);
        for (const auto& m : messages)
            EXPECT_FALSE(m.key.empty());
    }
}

}  // namespace
}  // namespace telvane::testing
