#include "canned/canned_library.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <functional>

#include "canned/canned_tree.h"
#include "platform/files.h"
#include "platform/text.h"

namespace telvane {
namespace {

namespace fs = std::filesystem;

struct Record {
    int mode;
    std::string topic, subtopic, message;
};

void PutBig(std::string& out, uint32_t value, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8)
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

std::string Field(std::string bytes, size_t limit) {
    bytes.resize(limit, '\0');
    return bytes;
}

// A library file in the database layout; record 0 names `table`.
std::string Library(const std::string& table, const std::vector<Record>& messages) {
    std::vector<Record> records{{0, "", "", table}};
    records.insert(records.end(), messages.begin(), messages.end());
    std::string out(76, '\0');
    PutBig(out, static_cast<uint32_t>(records.size()), 2);
    const size_t first = 78 + 8 * records.size() + 2;
    for (size_t i = 0; i < records.size(); ++i) {
        PutBig(out, static_cast<uint32_t>(first + 92 * i), 4);
        PutBig(out, 0, 4);
    }
    PutBig(out, 0, 2);
    for (const Record& r : records) {
        PutBig(out, static_cast<uint32_t>(r.mode), 2);
        out += Field(r.topic, 20) + Field(r.subtopic, 20) + Field(r.message, 50);
    }
    return out;
}

// A code table with the given tag and (unicode, lead, trail) entries.
std::string Table(const std::string& tag, std::vector<std::array<unsigned, 3>> entries) {
    std::string out = "Big5" + tag;
    out.resize(88, '\0');
    for (auto [unit, lead, trail] : entries) {
        PutBig(out, unit, 2);
        PutBig(out, lead, 1);
        PutBig(out, trail, 1);
    }
    return out;
}

class TempFolder {
  public:
    TempFolder() {
        char name[] = "/tmp/telvane-canned-XXXXXX";
        path_ = ::mkdtemp(name);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    void Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path_ / name, std::ios::binary) << bytes;
    }

  private:
    fs::path path_;
};

TEST(DecodeCannedText, FollowsTheModeAndTheCodeTable) {
    const CannedCodeTable big5 = ParseCannedCodeTable(Table("_bi", {{0x4E2D, 0xA4, 0xA4}}));
    const CannedCodeTable gb = ParseCannedCodeTable(Table("936", {{0x4E2D, 0xA4, 0xA4}}));
    const CannedCodeTable none;
    const std::string fifty(50, 'x');
    struct Case {
        const char* what;
        std::string bytes;
        bool doubleByte;
        const CannedCodeTable& table;
        std::u16string text;
    } cases[] = {
        {"single byte stops at zero", std::string("Hi\0there", 8), false, none, u"Hi"},
        {"single byte is Latin-1", "caf\xE9", false, none, u"caf\u00e9"},
        {"50 bytes without terminator", fifty + "yy", false, none, Widen(fifty)},
        {"pair below 0xA1 is two characters", "AB", true, big5, u"AB"},
        {"Big5 pair from the table", "\xA4\xA4OK", true, big5, u"\u4e2dOK"},
        {"pair missing from the table is dropped", "\xA4\xA5\xA4\xA4", true, big5, u"\u4e2d"},
        {"zero pair ends", std::string("AB\0\0CD", 6), true, big5, u"AB"},
        {"half-filled pair leaves no NUL", std::string("ABC\0DE", 6), true, big5, u"ABC"},
        {"code page 936 gives nothing", "AB\xA4\xA4", true, gb, u""},
        {"no code table gives nothing", "AB\xA4\xA4", true, none, u""},
        {"odd field end", "ABC", true, big5, u"ABC"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeCannedText(c.bytes, c.doubleByte, 50, c.table), c.text) << c.what;
}

TEST(CannedCodeTable, TagGivesTheCodePage) {
    EXPECT_EQ(ParseCannedCodeTable(Table("_bi", {})).codePage, 950);
    EXPECT_EQ(ParseCannedCodeTable(Table("950", {})).codePage, 950);
    EXPECT_EQ(ParseCannedCodeTable(Table("936", {})).codePage, 936);
    EXPECT_EQ(ParseCannedCodeTable("Big").codePage, 0);
    // An entry cut by the end of the file is never compared.
    std::string cut = Table("_bi", {{0x4E2D, 0xA4, 0xA4}});
    cut.pop_back();
    EXPECT_EQ(DecodeCannedText("\xA4\xA4", true, 20, ParseCannedCodeTable(cut)), u"");
}

TEST(CannedLibraryReader, ReadsWithAndWithoutCodeTable) {
    TempFolder folder;
    const std::vector<Record> records{{0, "Hello", "", "Good morning"},
                                      {1, "\xA4\xA4", "", "AB\xA4\xA4"}};
    folder.Write("plain.pdb", Library("", records));
    folder.Write("chinese.pdb", Library("big_5", records));
    folder.Write("big_5.pdb", Table("_bi", {{0x4E2D, 0xA4, 0xA4}}));
    folder.Write("lost.pdb", Library("gone", records));
    folder.Write("escape.pdb", Library("../big_5", records));

    CannedLibraryReader plain({folder.path()});
    ASSERT_EQ(plain.Read(u"plain"), 1);
    EXPECT_EQ(plain.codePage, 0);
    ASSERT_EQ(plain.entries.size(), 3u);
    EXPECT_EQ(plain.entries[1].message, u"Good morning");
    EXPECT_EQ(plain.entries[2].mode, 1);
    EXPECT_EQ(plain.entries[2].topic, u"");
    EXPECT_EQ(plain.entries[2].message, u"");

    CannedLibraryReader chinese({folder.path()});
    ASSERT_EQ(chinese.Read(u"chinese"), 1);
    EXPECT_EQ(chinese.codePage, 950);
    EXPECT_EQ(chinese.entries[0].message, u"big_5");
    EXPECT_EQ(chinese.entries[2].topic, u"\u4e2d");
    EXPECT_EQ(chinese.entries[2].message, u"AB\u4e2d");

    for (const char16_t* name : {u"lost", u"escape", u"absent", u"../tmp/plain"}) {
        CannedLibraryReader failed({folder.path()});
        EXPECT_EQ(failed.Read(name), 0) << U16ToUtf8(name);
        EXPECT_TRUE(failed.entries.empty());
        EXPECT_FALSE(failed.error.empty());
    }
}

TEST(ParseCannedLibrary, NeverReadsPastTheFile) {
    const std::string good = Library("", {{0, "T", "S", "message"}});
    EXPECT_FALSE(ParseCannedLibrary(good.substr(0, 77), {}));

    // A count far beyond the record list is cut to the entries the file holds.
    std::string bigCount = good.substr(0, 78 + 8);
    bigCount[76] = '\xFF';
    bigCount[77] = '\xFF';
    EXPECT_EQ(ParseCannedLibrary(bigCount, {})->size(), 1u);

    // An offset outside the file reads as an empty record.
    std::string farOffset = good;
    farOffset[78 + 8] = '\x7F';
    auto far = ParseCannedLibrary(farOffset, {});
    ASSERT_EQ(far->size(), 2u);
    EXPECT_EQ((*far)[1].topic, u"");
    EXPECT_EQ((*far)[1].message, u"");

    // A record cut by the end of the file keeps what is there.
    auto cut = ParseCannedLibrary(good.substr(0, good.size() - 47), {});
    EXPECT_EQ((*cut)[1].subtopic, u"S");
    EXPECT_EQ((*cut)[1].message, u"mes");
}

TEST(BuildCannedTree, GroupsByTopicAndSubtopic) {
    const std::vector<CannedEntry> entries{
        {0, u"", u"", u""},        {0, u"A", u"", u"one"},   {0, u"A", u"X", u"two"},
        {0, u"B", u"X", u"three"}, {0, u"B", u"X", u"four"}, {0, u"B", u"", u"five"},
        {0, u"B", u"X", u"six"},
    };
    const CannedNode root = BuildCannedTree(entries, u"Canned Message");
    auto leaf = [](const char16_t* text) { return CannedNode{text, true, {}}; };
    auto group = [](const char16_t* text, std::vector<CannedNode> children) {
        return CannedNode{text, false, std::move(children)};
    };
    const CannedNode expected =
        group(u"Canned Message", {group(u"A", {leaf(u"one"), group(u"X", {leaf(u"two")})}),
                                  group(u"B", {group(u"X", {leaf(u"three"), leaf(u"four")}),
                                               leaf(u"five"), group(u"X", {leaf(u"six")})})});
    std::function<void(const CannedNode&, const CannedNode&, std::string)> same =
        [&](const CannedNode& a, const CannedNode& b, std::string where) {
            where += "/" + U16ToUtf8(b.text);
            EXPECT_EQ(a.text, b.text) << where;
            EXPECT_EQ(a.isMessage, b.isMessage) << where;
            ASSERT_EQ(a.children.size(), b.children.size()) << where;
            for (size_t i = 0; i < a.children.size(); ++i)
                same(a.children[i], b.children[i], where);
        };
    same(root, expected, "");

    // Only the header record, or nothing at all: the root alone.
    EXPECT_TRUE(BuildCannedTree({entries[0]}, u"R").children.empty());
    EXPECT_TRUE(BuildCannedTree({}, u"R").children.empty());
}

TEST(LoadCannedLibrary, LeavesTheTreeWhenTheLibraryCannotBeRead) {
    TempFolder folder;
    folder.Write("phrases.pdb", Library("", {{0, "T", "", "hello"}}));
    CannedNode tree{u"old", false, {}};
    EXPECT_EQ(LoadCannedLibrary(u"missing", u"Canned Message", tree, {folder.path()}), 0);
    EXPECT_EQ(tree.text, u"old");
    ASSERT_EQ(LoadCannedLibrary(u"phrases", u"Canned Message", tree, {folder.path()}), 1);
    EXPECT_EQ(tree.text, u"Canned Message");
    ASSERT_EQ(tree.children.size(), 1u);
    EXPECT_EQ(tree.children[0].children[0].text, u"hello");
}

TEST(ListCannedLibraries, SkipsCodeTablesAndOtherFiles) {
    TempFolder user, shipped;
    for (const char* name : {"phrases.pdb", "big_5.pdb", "notes.txt", "chimsg.pdb", ".pdb"})
        user.Write(name, "x");
    fs::create_directory(user.path() / "dir.pdb");
    for (const char* name : {"chimsg.pdb", "english.pdb"})
        shipped.Write(name, "x");
    EXPECT_EQ(ListCannedLibraries({user.path(), shipped.path(), "/nonexistent/telvane"}),
              (std::vector<std::u16string>{u"chimsg", u"phrases", u"english"}));
}

}  // namespace
}  // namespace telvane
