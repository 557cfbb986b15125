#include "contacts/vcard.h"

#include <gtest/gtest.h>

#include <vector>

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

TEST(VCard, EveryCardOfAFileIsReadAndWrittenBackByteForByte) {
    const std::string first =
        "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nTEL:1\r\nEND:VCARD\r\n";
    const std::string agent =
        "BEGIN:VCARD\nVERSION:3.0\nN:Wu;Bo;;;\nAGENT:\nBEGIN:VCARD\nN:Inner;X;;;\nEND:VCARD\n"
        "TEL:2\nEND:VCARD\n";
    const std::string last = "BEGIN:VCARD\r\nFN:Cy\r\nEND:VCARD\r\n";
    const std::string head = "exported 2024\r\n";
    const std::string between = "\r\n";
    const std::string tail = "-- end --\r\n";
    const std::string file = head + first + between + agent + last + tail;

    std::vector<VCard> cards = VCard::ParseAll(file);
    ASSERT_EQ(cards.size(), 3u);
    EXPECT_EQ(cards[0].Number(), u"1");
    EXPECT_EQ(cards[1].Last(), u"Wu");
    EXPECT_EQ(cards[1].Number(), u"2");
    EXPECT_EQ(cards[2].FormattedName(), u"Cy");
    EXPECT_EQ(VCard::SerializeAll(cards), file);
    EXPECT_TRUE(VCard::ParseAll("no cards\n").empty());
    const std::string unended = "BEGIN:VCARD\nFN:A\nEND:VCARD\nBEGIN:VCARD\nFN:B\nEND:VCARD";
    EXPECT_EQ(VCard::ParseAll(unended).size(), 2u);
    EXPECT_EQ(VCard::SerializeAll(VCard::ParseAll(unended)), unended);

    struct Case {
        size_t erased;
        std::string left;
    } cases[] = {
        {0, head + agent + last + tail},
        {1, head + first + last + tail},
        {2, head + first + between + agent + tail},
        {3, file},
    };
    for (const auto& c : cases) {
        std::vector<VCard> some = VCard::ParseAll(file);
        VCard::Erase(some, c.erased);
        EXPECT_EQ(VCard::SerializeAll(some), c.left) << c.erased;
    }

    // An edit of one card leaves the bytes of the others.
    cards[1].SetNumber(u"+852 5");
    const std::string edited = VCard::SerializeAll(cards);
    EXPECT_TRUE(edited.starts_with(head + first + between)) << edited;
    EXPECT_TRUE(edited.ends_with(last + tail)) << edited;
    EXPECT_EQ(VCard::ParseAll(edited)[1].Number(), u"+852 5");
}

}  // namespace
}  // namespace telvane
