#include "contacts/contacts_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "contacts/vcard.h"
#include "platform/text.h"

namespace telvane {
namespace {

namespace fs = std::filesystem;

// Written by hand as other programs write them: 3.0 with CR LF, 4.0 with LF, folded lines
// (one of them inside a UTF-8 sequence), escaped characters, several numbers, unknown properties.
const std::map<std::string, std::string> kFiles = {
    {"a-ann.vcf",
     "BEGIN:VCARD\r\n"
     "VERSION:3.0\r\n"
     "N:Lee;Ann;;;\r\n"
     "FN:Ann Lee\r\n"
     "TEL;TYPE=HOME:+85221234567\r\n"
     "TEL;TYPE=CELL,VOICE:+85291234567\r\n"
     "item1.X-ABLABEL:Office\r\n"
     "NOTE:Met at the fair\\, 2019\\; bring\r\n"
     "  cake\r\n"
     "X-CUSTOM;X-PARAM=\"a:b\":keep me as I am\r\n"
     "END:VCARD\r\n"},
    {"b-lee.vcf",
     "BEGIN:VCARD\n"
     "VERSION:4.0\n"
     "UID:urn:uuid:4fbe8971-0bc3-424c-9c26-36c3e1eff6b1\n"
     "N:Lee;;;;\n"
     "FN:Lee\n"
     "TEL;TYPE=work:+44 20 7946 0000\n"
     "TEL;VALUE=uri;TYPE=\"voice,cell\":tel:+44-7700-900123;ext=5\n"
     "END:VCARD\n"},
    {"c-chan.vcf",
     "BEGIN:VCARD\r\n"
     "VERSION:3.0\r\n"
     "N:\xE9\x99\xB3;\xE5\xA4\xA7\\,\xE6\x96\x87;\xE5\xB0\x8F\xE6\x98\r\n"
     " \x8E;;\r\n"
     "FN:\xE5\xA4\xA7\\,\xE6\x96\x87 \xE9\x99\xB3\r\n"
     "tel:12345\r\n"
     "END:VCARD\r\n"},
    {"d-acme.vcf",
     "BEGIN:VCARD\r\n"
     "VERSION:4.0\r\n"
     "FN:ACME Corp.\r\n"
     "ORG:ACME\r\n"
     "END:VCARD\r\n"},
    {"notes.txt", "BEGIN:VCARD\r\nFN:not a contact file\r\nEND:VCARD\r\n"},
    {"broken.vcf", "hello\n"},
    {".hidden.vcf", "BEGIN:VCARD\r\nFN:temporary\r\nEND:VCARD\r\n"},
};

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ContactsStoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const auto& [file, bytes] : kFiles)
            std::ofstream(folder / file, std::ios::binary) << bytes;
        ASSERT_EQ(store.Initialize(), 1);
        EXPECT_EQ(store.Count(), 0);
        ASSERT_EQ(store.Open(), 1);
        ASSERT_EQ(store.Count(), 4);
    }
    void TearDown() override { fs::remove_all(folder); }

    std::map<std::string, std::string> Snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(folder))
            files[entry.path().filename().string()] = Read(entry.path());
        return files;
    }
    VCard Card(const std::string& file) const { return *VCard::Parse(Read(folder / file)); }

    fs::path folder;
    ContactsStore store{[this] {
        char name[] = "/tmp/telvane-contacts-XXXXXX";
        folder = ::mkdtemp(name);
        return folder;
    }()};
};

// A save that was cut short leaves its temporary file: the next open removes it, and only it.
TEST_F(ContactsStoreTest, OpenRemovesWhatAnInterruptedSaveLeft) {
    for (const char* name : {".a-lee.vcf.tmp123456", ".new.vcf.tmp7"})
        std::ofstream(folder / name) << "BEGIN:VCARD\r\nFN:half\r\n";
    ASSERT_EQ(store.Open(), 1);
    EXPECT_EQ(store.Count(), 4);
    EXPECT_FALSE(fs::exists(folder / ".a-lee.vcf.tmp123456"));
    EXPECT_FALSE(fs::exists(folder / ".new.vcf.tmp7"));
    EXPECT_TRUE(fs::exists(folder / ".hidden.vcf"));  // not a save's: left alone
}

TEST_F(ContactsStoreTest, ShowsNamesAndNumbersInFileNameOrder) {
    struct Case {
        int position;
        std::u16string name, number;
    } cases[] = {
        {0, u"Ann Lee", u"+85291234567"},                     // the cell number, not the first
        {1, u"Lee", u"+44-7700-900123"},                      // no first name; a tel: URI
        {2, u"\u5927,\u6587 \u5c0f\u660e \u9673", u"12345"},  // folded inside a character
        {3, u"ACME Corp.", u""},                              // no name parts: the formatted name
        {-1, u"", u""},
        {4, u"", u""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(store.GetName(c.position), c.name) << c.position;
        EXPECT_EQ(store.GetNumber(c.position), c.number) << c.position;
    }
}

TEST_F(ContactsStoreTest, UpdateSplitsAtTheFirstBlankAndKeepsEverythingElse) {
    const std::string before = Read(folder / "a-ann.vcf");
    ASSERT_EQ(store.Update(0, u"Ann Marie Lee"), 1);
    VCard card = Card("a-ann.vcf");
    EXPECT_EQ(card.First(), u"Ann");
    EXPECT_EQ(card.Last(), u"Marie Lee");
    EXPECT_EQ(card.FormattedName(), u"Ann Marie Lee");
    EXPECT_EQ(store.GetName(0), u"Ann Marie Lee");
    const std::string after = Read(folder / "a-ann.vcf");
    for (const char* kept : {"VERSION:3.0\r\n", "TEL;TYPE=HOME:+85221234567\r\n",
                             "TEL;TYPE=CELL,VOICE:+85291234567\r\n", "item1.X-ABLABEL:Office\r\n",
                             "NOTE:Met at the fair\\, 2019\\; bring\r\n  cake\r\n",
                             "X-CUSTOM;X-PARAM=\"a:b\":keep me as I am\r\n"})
        EXPECT_NE(after.find(kept), std::string::npos) << kept;
    EXPECT_NE(after.find("N:Marie Lee;Ann;;;\r\n"), std::string::npos) << after;
    EXPECT_EQ(after.size(), before.size() + 2 * std::string("Marie ").size());

    ASSERT_EQ(store.Update(0, u"Ann"), 1);
    EXPECT_EQ(Card("a-ann.vcf").First(), u"Ann");
    EXPECT_EQ(Card("a-ann.vcf").Last(), u"");

    // A 4.0 card stays 4.0 with its own line ends; special characters are escaped.
    ASSERT_EQ(store.Update(1, u"Li, Jr; Wei"), 1);
    const std::string lee = Read(folder / "b-lee.vcf");
    EXPECT_EQ(lee.find('\r'), std::string::npos);
    EXPECT_NE(lee.find("VERSION:4.0\n"), std::string::npos);
    EXPECT_NE(lee.find("N:Jr\\; Wei;Li\\,;;;\n"), std::string::npos) << lee;
    EXPECT_EQ(store.GetName(1), u"Li, Jr; Wei");
}

TEST_F(ContactsStoreTest, KeepsTheMiddleNameUnlessTheNameChanges) {
    // The edit panel writes back the shown name with every number change.
    const auto before = Snapshot();
    ASSERT_EQ(store.Update(2, store.GetName(2)), 1);
    EXPECT_EQ(Snapshot(), before);

    ASSERT_EQ(store.Update(2, u"Mary Chan"), 1);
    EXPECT_EQ(Card("c-chan.vcf").Middle(), u"");
    EXPECT_EQ(store.GetName(2), u"Mary Chan");
}

TEST_F(ContactsStoreTest, RefusesPositionsOutOfRange) {
    const auto before = Snapshot();
    for (int position : {-1, 4}) {
        EXPECT_EQ(store.Update(position, u"X Y"), 0) << position;
        EXPECT_EQ(store.UpdateNumber(position, u"1"), 0) << position;
        EXPECT_EQ(store.Remove(position), 0) << position;
    }
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(store.Count(), 4);

    // A contact whose file went away is reported, not written.
    fs::remove(folder / "d-acme.vcf");
    EXPECT_EQ(store.Update(3, u"New Name"), 0);
    EXPECT_FALSE(fs::exists(folder / "d-acme.vcf"));
    EXPECT_NE(store.LastError().find("d-acme.vcf"), std::string::npos);
}

TEST_F(ContactsStoreTest, UpdateNumberRewritesTheNumberItReads) {
    ASSERT_EQ(store.UpdateNumber(0, u"+85260000000"), 1);
    const std::string ann = Read(folder / "a-ann.vcf");
    EXPECT_NE(ann.find("TEL;TYPE=CELL,VOICE:+85260000000\r\n"), std::string::npos) << ann;
    EXPECT_NE(ann.find("TEL;TYPE=HOME:+85221234567\r\n"), std::string::npos);

    ASSERT_EQ(store.UpdateNumber(1, u"+447700900999"), 1);
    EXPECT_NE(
        Read(folder / "b-lee.vcf").find("TEL;VALUE=uri;TYPE=\"voice,cell\":tel:+447700900999\n"),
        std::string::npos);
    EXPECT_EQ(store.GetNumber(1), u"+447700900999");

    // A card without a number gets one; line breaks cannot smuggle in a property.
    ASSERT_EQ(store.UpdateNumber(3, u"555\r\nX-EVIL:1"), 1);
    const std::string acme = Read(folder / "d-acme.vcf");
    EXPECT_NE(acme.find("ORG:ACME\r\nTEL;TYPE=cell:555X-EVIL:1\r\nEND:VCARD\r\n"),
              std::string::npos)
        << acme;

    ASSERT_EQ(store.UpdateNumber(2, u""), 1);
    EXPECT_EQ(store.GetNumber(2), u"");
    EXPECT_EQ(Read(folder / "c-chan.vcf").find("tel:"), std::string::npos);
}

TEST_F(ContactsStoreTest, AddWritesANewCardNamedByItsUid) {
    const std::u16string longLast(60, u'\u6587');
    ASSERT_EQ(store.Add(u"Ann " + longLast, u"+85290000000"), 1);
    ASSERT_EQ(store.Count(), 5);
    int position = -1;
    for (int p = 0; p < store.Count(); ++p)
        if (store.GetNumber(p) == u"+85290000000") position = p;
    ASSERT_GE(position, 0);
    EXPECT_EQ(store.GetName(position), u"Ann " + longLast);

    const auto before = Snapshot();
    std::string added;
    for (const auto& [file, bytes] : before)
        if (!kFiles.count(file)) added = file;
    const std::regex uuid(
        "([0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12})\\.vcf");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(added, m, uuid)) << added;
    const std::string bytes = before.at(added);
    EXPECT_EQ(bytes.rfind("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + m[1].str() + "\r\n", 0), 0u);
    std::istringstream lines(bytes);
    for (std::string line; std::getline(lines, line);)
        EXPECT_LE(line.size(), 76u) << line;  // 75 octets and the CR

    // A fresh listing puts it at the same position.
    ContactsStore again(folder);
    ASSERT_EQ(again.Initialize(), 1);
    again.Open();
    EXPECT_EQ(again.GetNumber(position), u"+85290000000");
}

// A contact written here and a phonebook export share one writer: N from the name's parts, FN
// whole, and the contact shows the name as it was written.
TEST_F(ContactsStoreTest, ANoteAfterTheNameStaysInFnOnly) {
    ASSERT_EQ(store.Add(u"李大華 (Work)", u"0912"), 1);
    int position = -1;
    for (int p = 0; p < store.Count(); ++p)
        if (store.GetNumber(p) == u"0912") position = p;
    ASSERT_GE(position, 0);
    EXPECT_EQ(store.GetName(position), u"李大華 (Work)");
    std::string bytes;
    for (const auto& [file, content] : Snapshot())
        if (!kFiles.count(file)) bytes = content;
    EXPECT_NE(bytes.find("\r\nN:;李大華;;;\r\nFN:李大華 (Work)\r\n"), std::string::npos) << bytes;
    ASSERT_EQ(store.Update(position, u"Amy Chen (Home)"), 1);
    EXPECT_EQ(store.GetName(position), u"Amy Chen (Home)");
}

TEST_F(ContactsStoreTest, RemoveShiftsTheLaterContacts) {
    // Deleting the second and fourth contacts: positions 1, then 2.
    ASSERT_EQ(store.Remove(1), 1);
    ASSERT_EQ(store.Remove(2), 1);
    EXPECT_EQ(store.Count(), 2);
    EXPECT_EQ(store.GetName(0), u"Ann Lee");
    EXPECT_EQ(store.GetNumber(1), u"12345");
    EXPECT_FALSE(fs::exists(folder / "b-lee.vcf"));
    EXPECT_FALSE(fs::exists(folder / "d-acme.vcf"));
    EXPECT_TRUE(fs::exists(folder / "broken.vcf"));
}

// A file of several cards, as address books export them.
std::string FamilyCard(int n, const char* eol = "\r\n") {
    const std::string i = std::to_string(n);
    return std::string("BEGIN:VCARD") + eol + "VERSION:3.0" + eol + "N:Family" + i + ";Kid" + i +
           ";;;" + eol + "FN:Kid" + i + " Family" + i + eol + "TEL;TYPE=CELL:+85290000" + i + eol +
           "X-KEEP:as it was " + i + eol + "END:VCARD" + eol;
}

TEST_F(ContactsStoreTest, EveryCardOfAFileIsAContactOfItsOwn) {
    const std::string two = FamilyCard(1) + FamilyCard(2, "\n");
    std::ofstream(folder / "a-two.vcf", std::ios::binary) << two;
    ASSERT_EQ(store.Open(), 1);
    ASSERT_EQ(store.Count(), 6);
    // a-ann, then the two cards of a-two in file order, then b-lee.
    EXPECT_EQ(store.GetName(1), u"Kid1 Family1");
    EXPECT_EQ(store.GetName(2), u"Kid2 Family2");
    EXPECT_EQ(store.GetNumber(2), u"+852900002");
    EXPECT_EQ(store.GetName(3), u"Lee");

    ASSERT_EQ(store.UpdateNumber(2, u"+85212"), 1);
    ASSERT_EQ(store.Update(2, u"Bo Wu"), 1);
    std::string file = Read(folder / "a-two.vcf");
    EXPECT_TRUE(file.starts_with(FamilyCard(1))) << file;
    EXPECT_NE(file.find("N:Wu;Bo;;;\n"), std::string::npos) << file;
    EXPECT_NE(file.find("X-KEEP:as it was 2\n"), std::string::npos) << file;
    EXPECT_EQ(store.GetName(1), u"Kid1 Family1");
    EXPECT_EQ(store.GetNumber(2), u"+85212");

    // Deleting the first card keeps the second's bytes, and the file.
    const std::string second = file.substr(FamilyCard(1).size());
    ASSERT_EQ(store.Remove(1), 1);
    EXPECT_EQ(Read(folder / "a-two.vcf"), second);
    EXPECT_EQ(store.Count(), 5);
    EXPECT_EQ(store.GetName(1), u"Bo Wu");
    ASSERT_EQ(store.Remove(1), 1);
    EXPECT_FALSE(fs::exists(folder / "a-two.vcf"));
    EXPECT_EQ(store.GetName(1), u"Lee");
}

TEST_F(ContactsStoreTest, DeletingOneOfFiftyCardsKeepsFortyNine) {
    std::string all;
    std::vector<std::string> cards;
    for (int n = 0; n < 50; ++n) {
        cards.push_back(FamilyCard(n));
        all += cards.back();
    }
    std::ofstream(folder / "aa-all.vcf", std::ios::binary) << all;
    ASSERT_EQ(store.Open(), 1);
    ASSERT_EQ(store.Count(), 54);
    EXPECT_EQ(store.GetName(1 + 17), u"Kid17 Family17");
    ASSERT_EQ(store.Remove(1 + 17), 1);

    std::string expected;
    for (int n = 0; n < 50; ++n)
        if (n != 17) expected += cards[static_cast<size_t>(n)];
    EXPECT_EQ(Read(folder / "aa-all.vcf"), expected);
    EXPECT_EQ(store.GetName(1 + 17), u"Kid18 Family18");
    ContactsStore again(folder);
    ASSERT_EQ(again.Initialize(), 1);
    again.Open();
    EXPECT_EQ(again.Count(), 53);

    // A file changed behind the list's back is not edited at a position that moved.
    std::ofstream(folder / "aa-all.vcf", std::ios::binary) << cards[0];
    EXPECT_EQ(store.Remove(1 + 40), 0);
    EXPECT_NE(store.LastError().find("aa-all.vcf"), std::string::npos) << store.LastError();
    EXPECT_EQ(Read(folder / "aa-all.vcf"), cards[0]);
}

TEST(ContactsStore, RunsWithoutContactsWhenTheFolderIsUnusable) {
    char name[] = "/tmp/telvane-contacts-XXXXXX";
    const fs::path base = ::mkdtemp(name);
    std::ofstream(base / "file") << "x";
    ContactsStore store(base / "file" / "contacts");
    EXPECT_EQ(store.Initialize(), 0);
    EXPECT_NE(store.LastError().find("file/contacts"), std::string::npos);
    EXPECT_EQ(store.Open(), 1);
    EXPECT_EQ(store.Count(), 0);
    EXPECT_EQ(store.Add(u"Ann", u"1"), 0);

    ContactsStore fresh(base / "new" / "contacts");
    EXPECT_EQ(fresh.Initialize(), 1);
    EXPECT_TRUE(fs::is_directory(base / "new" / "contacts"));
    fs::remove_all(base);
}

}  // namespace
}  // namespace telvane
