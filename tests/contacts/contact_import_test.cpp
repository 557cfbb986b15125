// Reading the files a user imports: what address books and spreadsheets write.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contacts/contact_import.h"
#include "contacts/vcard.h"
#include "platform/text.h"

namespace telvane {
namespace {

std::vector<std::pair<std::string, std::string>> Read(std::string_view bytes) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const ImportedEntry& e : ReadContactsFile(bytes))
        out.emplace_back(U16ToUtf8(e.name), U16ToUtf8(e.number));
    return out;
}

using Entries = std::vector<std::pair<std::string, std::string>>;

TEST(ContactImport, ReadsVCardsAndCsv) {
    struct Case {
        const char* what;
        std::string bytes;
        Entries entries;
    } cases[] = {
        {"cards of 3.0 and 4.0, FN first, N where FN is missing",
         "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Chen;Amy;;;\r\nFN:Amy Chen\r\n"
         "TEL;TYPE=HOME:02 2345 6789\r\nTEL;TYPE=CELL:+886 912 345 678\r\nEND:VCARD\r\n"
         "BEGIN:VCARD\nVERSION:4.0\nN:Lin;David;;;\nTEL;VALUE=uri:tel:+886955123456\nEND:VCARD\n"
         "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:No number\r\nEND:VCARD\r\n",
         {{"Amy Chen", "+886 912 345 678"}, {"David Lin", "+886955123456"}, {"No number", ""}}},
        {"a spreadsheet's CSV with a mark, a header, quotes and a blank line",
         "\xEF\xBB\xBFNumber,Name\r\n+886912345678,\"Chen, Amy\"\r\n\r\n"
         "0955 123 456,\"Say \"\"Hi\"\"\"\r\n,Name only\r\n0911000111\r\n",
         {{"Chen, Amy", "+886912345678"},
          {"Say \"Hi\"", "0955 123 456"},
          {"Name only", ""},
          {"", "0911000111"}}},
        {"a line break inside a quoted name", "0912,\"two\nlines\"\n", {{"two\nlines", "0912"}}},
        {"nothing", "", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Read(c.bytes), c.entries) << c.what;
}

// What the program writes, it reads back: the export's cards are an import's entries.
TEST(ContactImport, ReadsBackWhatTheWriterWrites) {
    const std::string cards = VCard::FromName({}, u"李大華 (Work)", u"0912").Serialize() +
                              VCard::FromName({}, u"Amy; Chen", u"+886912345678").Serialize();
    EXPECT_EQ(Read(cards), (Entries{{"李大華 (Work)", "0912"}, {"Amy; Chen", "+886912345678"}}));
}

TEST(ContactImport, NamesSplitIntoTheirParts) {
    struct Case {
        std::u16string whole;
        std::u16string given;
        std::u16string family;
    } cases[] = {
        {u"Amy Chen", u"Amy", u"Chen"},
        {u"Office", u"Office", u""},
        {u"李大華 (Work)", u"李大華", u""},
        {u"李大華（公司）", u"李大華", u""},
        {u"  Wang  Hsiao-Mei ", u"Wang", u"Hsiao-Mei"},
        {u"(Work)", u"(Work)", u""},
        {u"", u"", u""},
    };
    for (const Case& c : cases) {
        const VCardName name = SplitVCardName(c.whole);
        EXPECT_EQ(name.given, c.given) << U16ToUtf8(c.whole);
        EXPECT_EQ(name.family, c.family) << U16ToUtf8(c.whole);
    }
}

}  // namespace
}  // namespace telvane
