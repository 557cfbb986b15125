// Numbers the user gives reach the modem only cleaned, and a number that is none is refused with
// its reason before anything is queued: recipients, phonebook entries, the SMS centre.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/recipients.h"
#include "controller_fixture.h"

namespace telvane {
namespace {

using testing::ControllerTest;
using testing::ReadFolder;

TEST(CheckRecipients, CleansEachEntryAndNamesTheFirstRefused) {
    struct Case {
        std::u16string list;
        std::u16string numbers;  // empty: refused
        std::u16string refused;
        NumberError why;
    };
    const Case cases[] = {
        {u"+886 932-400821", u"+886932400821", u"", NumberError::kNone},
        {u"(02) 8765-4321; +886-922-333-444", u"0287654321;+886922333444", u"", NumberError::kNone},
        {u";; 111 ;", u"111", u"", NumberError::kNone},
        {u"", u"", u"", NumberError::kEmpty},
        {u" ; ;", u"", u"", NumberError::kEmpty},
        {u"111;12\x1B\rAT+CMGD=1,4;222", u"", u"12\x1B\rAT+CMGD=1,4", NumberError::kBadCharacter},
        {u"111, 222", u"", u"111, 222", NumberError::kBadCharacter},  // only ';' separates
        {u"111;1+2", u"", u"1+2", NumberError::kMisplacedPlus},
        {u"123456789012345678901", u"", u"123456789012345678901", NumberError::kTooLong},
    };
    for (const Case& c : cases) {
        const CheckedRecipients checked = CheckRecipients(c.list);
        const std::string what = U16ToUtf8(c.list);
        EXPECT_EQ(checked.ok(), !c.numbers.empty()) << what;
        EXPECT_EQ(checked.numbers, c.numbers) << what;
        EXPECT_EQ(checked.refused, c.refused) << what;
        EXPECT_EQ(checked.why.error, c.why) << what;
    }
    // What the user is shown never carries the control characters themselves.
    const CheckedRecipients bad = CheckRecipients(
        u"12\x1B"
        u"AT");
    const std::u16string text = RefusedNumberText(bad.refused, bad.why);
    EXPECT_EQ(text.find(u'\x1B'), std::u16string::npos);
    EXPECT_TRUE(text.starts_with(u"\"12\uFFFDAT\" is not a valid phone number: "))
        << U16ToUtf8(text);
    EXPECT_NE(text.find(u"U+001B"), std::u16string::npos) << U16ToUtf8(text);
}

TEST_F(ControllerTest, ARecipientThatIsNoNumberIsRefusedAndNothingIsQueued) {
    GoOnline();
    window.composeText = u"hello";
    window.recipients = u"(02) 8765-4321;+886 9x2";
    controller->SendComposed();
    window.Pump();
    ASSERT_EQ(window.messageTexts.size(), 1u);
    EXPECT_TRUE(window.messageTexts[0].starts_with(
        u"\"+886 9x2\" is not a valid phone number: The number holds 'x'"))
        << U16ToUtf8(window.messageTexts[0]);
    EXPECT_TRUE(ReadFolder(FolderId::Outbox).empty());

    // Cleaned, the same list goes out as the modem takes it.
    window.recipients = u"(02) 8765-4321;+886 932-400821";
    controller->SendComposed();
    window.Pump();
    ASSERT_EQ(script->texts.size(), 1u);
    EXPECT_EQ(script->texts[0].first, u"0287654321");
    const std::vector<SmsRecord> outbox = ReadFolder(FolderId::Outbox);
    ASSERT_EQ(outbox.size(), 1u);
    EXPECT_EQ(outbox[0].text, u"hello");
    EXPECT_EQ(window.messageTexts.size(), 1u);
}

TEST_F(ControllerTest, PhonebookEntriesKeepCleanedNumbersAndRefuseOthers) {
    PhonebookTable initial;
    initial.SetLimits(20, 14, 3);
    initial.AddEntry(u"Ann", u"111");
    ASSERT_EQ(initial.SaveFile(), 1);
    PhonebookCache& cache = controller->Phonebook();
    ASSERT_TRUE(cache.Load());

    EXPECT_EQ(cache.Add(u"Fay", u"(02) 8765-4321"), 1);
    EXPECT_TRUE(cache.RefusedNumber().empty());
    EXPECT_EQ(cache.Add(u"Name only", u""), 1);
    EXPECT_EQ(cache.Update(1, u"Ann",
                           u"+886\x1B"
                           u"1"),
              0);
    EXPECT_TRUE(cache.RefusedNumber().starts_with(u"\"+886\uFFFD1\" is not a valid phone number"))
        << U16ToUtf8(cache.RefusedNumber());
    // A name longer than the SIM holds is refused and said so, never cut.
    struct NameCase {
        std::u16string name;
        int done;
        std::u16string refusal;
    } names[] = {
        {u"Christopher Co", 1, u""},
        {u"Christopher Columbus", 0,
         u"Christopher Columbus: the name is longer than the SIM holds (20/14)"},
        {u"Costs 10€ each", 0, u"Costs 10€ each: the name is longer than the SIM holds (15/14)"},
        {u"李大華王小明", 1, u""},
        {u"李大華王小明陳", 0, u"李大華王小明陳: the name is longer than the SIM holds (7/6)"},
    };
    for (const NameCase& c : names) {
        EXPECT_EQ(cache.Update(3, c.name, u""), c.done) << U16ToUtf8(c.name);
        EXPECT_EQ(cache.RefusedNumber(), c.refusal) << U16ToUtf8(c.name);
    }
    EXPECT_EQ(cache.Update(3, u"Name only", u""), 1);
    cache.AfterChange();

    PhonebookTable file;
    ASSERT_EQ(file.LoadFile(), 1) << file.LastError();
    EXPECT_EQ(file.Entries()[0].number, u"111");
    EXPECT_EQ(file.Entries()[1].number, u"0287654321");
    EXPECT_EQ(file.Entries()[2].name, u"Name only");
    EXPECT_EQ(file.Entries()[2].number, u"");
}

TEST_F(ControllerTest, TheSmsCentreFromTheSettingsIsCleanedOrRefused) {
    window.settings.autoServiceCentre = false;
    // Offline, right after the settings were saved, the user hears of a centre that is no
    // number.
    window.settings.serviceCentre = u"12a";
    controller->ApplyServiceCentre();
    ASSERT_EQ(window.messageTexts.size(), 1u);
    EXPECT_TRUE(
        window.messageTexts[0].starts_with(u"The SMS centre number in Settings is not valid: "))
        << U16ToUtf8(window.messageTexts[0]);
    EXPECT_TRUE(window.StatusShown(window.messageTexts[0]));

    window.settings.serviceCentre = u"+886 932-400821";
    Connect();
    EXPECT_EQ(script->serviceCentre, u"+886932400821");
    EXPECT_EQ(window.messageTexts.size(), 1u);

    // A centre carrying a command never reaches the engine; the SIM's centre is used instead.
    window.settings.serviceCentre = u"+886\x1B\rAT+CMGD=1,4";
    controller->ApplyServiceCentre();
    EXPECT_EQ(script->serviceCentre, u"");
    ASSERT_EQ(window.messageTexts.size(), 2u);
    EXPECT_NE(window.messageTexts[1].find(u"U+001B"), std::u16string::npos);
}

}  // namespace
}  // namespace telvane
