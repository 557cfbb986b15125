#include "contacts/vcard.h"

#include <gtest/gtest.h>

namespace telvane {
namespace {

TEST(VCard, ReadsWhatOtherProgramsWrite) {
    struct Case {
        const char* what;
        std::string file;
        std::u16string first, last, number;
    } cases[] = {
        {"bare CELL parameter and a group",
         "BEGIN:VCARD\nVERSION:3.0\nN:Doe;John\nTEL:1\nitem2.TEL;CELL:2\nEND:VCARD\n", u"John",
         u"Doe", u"2"},
        {"quoted colon in a parameter",
         "BEGIN:VCARD\nVERSION:4.0\nN;SORT-AS=\"a:b\":Doe;Jo;;;\nTEL;TYPE=\"home\":tel:3\n"
         "END:VCARD\n",
         u"Jo", u"Doe", u"3"},
        {"several values of one part",
         "BEGIN:VCARD\r\nN:Stevenson;John,Paul;;Dr.;\r\nEND:VCARD\r\n", u"John Paul", u"Stevenson",
         u""},
        {"no END line", "BEGIN:VCARD\nN:Doe;Jo;;;\nTEL:4", u"Jo", u"Doe", u"4"},
        {"lower-case names, text before the card", "\xEF\xBB\xBFjunk\nbegin:vcard\nn:Doe;Jo\n",
         u"Jo", u"Doe", u""},
    };
    for (const Case& c : cases) {
        auto card = VCard::Parse(c.file);
        ASSERT_TRUE(card) << c.what;
        EXPECT_EQ(card->First(), c.first) << c.what;
        EXPECT_EQ(card->Last(), c.last) << c.what;
        EXPECT_EQ(card->Number(), c.number) << c.what;
        EXPECT_EQ(card->Serialize(), c.file) << c.what;
    }
    EXPECT_FALSE(VCard::Parse("N:Doe;Jo\n"));
    EXPECT_FALSE(VCard::Parse(""));
}

TEST(VCard, EditsOnlyTheFirstCardAndKeepsTheRest) {
    const std::string file =
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:A;B;;;\r\nAGENT:\r\nBEGIN:VCARD\r\nN:Inner;X;;;\r\nTEL;"
        "CELL:8\r\n"
        "END:VCARD\r\nTEL:9\r\nEND:VCARD\r\nBEGIN:VCARD\r\nN:Second;Y;;;\r\nEND:VCARD\r\n";
    auto card = VCard::Parse(file);
    ASSERT_TRUE(card);
    EXPECT_EQ(card->Number(), u"9");
    card->SetName(u"C", u"D");
    const std::string out = card->Serialize();
    EXPECT_EQ(out.find("N:A;B"), std::string::npos);
    EXPECT_NE(out.find("N:D;C;;;\r\n"), std::string::npos);
    EXPECT_NE(out.find("TEL;CELL:8\r\nEND:VCARD\r\nTEL:9\r\nFN:C D\r\nEND:VCARD\r\n"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("END:VCARD\r\nBEGIN:VCARD\r\nN:Second;Y;;;\r\nEND:VCARD\r\n"),
              std::string::npos);
    EXPECT_EQ(VCard::Parse(out)->FormattedName(), u"C D");
}

}  // namespace
}  // namespace telvane
