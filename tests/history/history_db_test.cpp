#include <sqlite3.h>
#include <sys/stat.h>

#include <fstream>

#include "history/history_db.h"
#include "history/history_keys.h"
#include "history_fixture.h"
#include "platform/files.h"

namespace telvane::testing {
namespace {

TEST(HistoryKeys, NumbersOfOnePersonShareAKey) {
    struct Case {
        std::u16string a, b;
        bool same;
    } cases[] = {
        {u"+886912345678", u"0912345678", true},
        {u"+886 912-345678", u"886912345678", true},
        {u"+886912345678", u"+886912345679", false},
        {u"10086", u"10086", true},
        {u"10086", u"+8610086", false},  // short codes are compared whole
        {u"MyBank", u"mybank", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PersonKey(c.a) == PersonKey(c.b), c.same)
            << std::string(c.a.begin(), c.a.end()) << " / " << std::string(c.b.begin(), c.b.end());
    }
}

TEST(HistoryKeys, TimeStampsReadAndWrite) {
    struct Case {
        std::u16string stamp;
        bool ok;
    } cases[] = {{u"00/01/01,00:00:00", true},  {u"26/12/11,06:07:08+32", true},
                 {u"99/12/31,23:59:59", true},  {u"26/13/11,06:07:08", false},
                 {u"26/12/11 06:07:08", false}, {u"", false},
                 {u"2x/12/11,06:07:08", false}};
    for (const Case& c : cases) {
        auto seconds = HistoryTime(c.stamp);
        ASSERT_EQ(seconds.has_value(), c.ok) << std::string(c.stamp.begin(), c.stamp.end());
        if (c.ok) {
            EXPECT_EQ(HistoryTimeText(*seconds), c.stamp.substr(0, 17));
        }
    }
    EXPECT_LT(*HistoryTime(u"26/12/11,06:07:08"), *HistoryTime(u"26/12/11,06:07:09"));
    EXPECT_LT(*HistoryTime(u"26/12/31,23:59:59"), *HistoryTime(u"27/01/01,00:00:00"));
}

TEST_F(HistoryTest, AMessageReadAgainIsStoredOnce) {
    OpenWriter();
    EXPECT_TRUE(db_.Created());
    const HistoryMessage m = Msg(u"+886912345678", u"26/12/11,06:07:08", u"Hello");
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(db_.Store({m}).ok) << db_.LastError();
    EXPECT_EQ(db_.Count(), 1);

    // A long message whose missing part arrived since: same parts reference, one message.
    HistoryMessage part = m;
    part.text = u"Hello [part 2 of 2 missing]";
    part.key = MessageKey(part.direction, part.number, part.timeText, part.text, 7, 2);
    HistoryMessage whole = part;
    whole.text = u"Hello world";
    EXPECT_EQ(db_.Store({part}).added, 1);
    StoreResult r = db_.Store({whole});
    EXPECT_EQ(r.added, 0);
    EXPECT_EQ(r.updated, 1);
    EXPECT_EQ(db_.Count(), 2);
    EXPECT_EQ(db_.Search(u"world", 10, 0).size(), 1u);
    EXPECT_TRUE(db_.Search(u"missing", 10, 0).empty());

    // Reopened, the file is not new and keeps what it had.
    db_.Close();
    OpenWriter();
    EXPECT_FALSE(db_.Created());
    EXPECT_EQ(db_.Count(), 2);
}

// The search index answers what the table holds (FTS5's own check), and every person's counters
// are those of their messages.
void ExpectConsistent(const std::filesystem::path& file) {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(
        sqlite3_exec(raw, "INSERT INTO message_fts(message_fts, rank) VALUES('integrity-check', 1)",
                     nullptr, nullptr, &error),
        SQLITE_OK)
        << (error != nullptr ? error : "");
    sqlite3_free(error);
    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(
        sqlite3_prepare_v2(raw,
                           "SELECT count(*) FROM person p WHERE count <> (SELECT count(*) FROM "
                           "message WHERE person_id = p.id) OR unread <> (SELECT "
                           "IFNULL(sum(unread), 0) FROM message WHERE person_id = p.id) OR "
                           "last_id <> (SELECT id FROM message WHERE person_id = p.id "
                           "ORDER BY time DESC, id DESC LIMIT 1)",
                           -1, &s, nullptr),
        SQLITE_OK);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int64(s, 0), 0) << "people whose counters are wrong";
    sqlite3_finalize(s);
    sqlite3_close(raw);
}

TEST_F(HistoryTest, AMessageCompletedWithinOneBatchIsFoundByItsWholeText) {
    OpenWriter();
    HistoryMessage part = Msg(u"+886912345678", u"26/12/11,06:07:08", u"Hello [part 2 missing]");
    part.key = MessageKey(part.direction, part.number, part.timeText, part.text, 7, 2);
    part.unread = true;
    HistoryMessage whole = part;
    whole.text = u"Hello world";
    whole.unread = false;
    whole.name = u"Amy";
    const StoreResult r = db_.Store({part, Msg(u"0912345678", u"26/12/11,06:00:00", u"first"),
                                     whole, Msg(u"0922000111", u"26/12/11,07:00:00", u"other")});
    ASSERT_TRUE(r.ok) << db_.LastError();
    EXPECT_EQ(r.added, 3);
    EXPECT_EQ(r.updated, 1);
    EXPECT_EQ(db_.Search(u"world", 10, 0).size(), 1u);
    EXPECT_TRUE(db_.Search(u"missing", 10, 0).empty());
    EXPECT_EQ(db_.Search(u"first", 10, 0).size(), 1u);
    auto people = db_.Conversations(10);
    ASSERT_EQ(people.size(), 2u);
    EXPECT_EQ(people[1].count, 2);
    EXPECT_EQ(people[1].unread, 0);
    EXPECT_EQ(people[1].last.text, u"Hello world");
    db_.Close();
    ExpectConsistent(File());
}

TEST_F(HistoryTest, AHistoryOfTheFirstSchemaIsBroughtUpToDate) {
    ASSERT_TRUE(HistoryDb::CreateAtSchemaForTest(File(), 1));
    {
        // Rows as the first schema's program wrote them: its triggers kept index and counters.
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(File().c_str(), &raw), SQLITE_OK);
        ASSERT_EQ(
            sqlite3_exec(raw,
                         "INSERT INTO person(id, key, number) VALUES(1, '912345678', '0912345678');"
                         "INSERT INTO message(key, person_id, number, name, direction, time, "
                         "time_text, text, store, unread) VALUES"
                         "('a', 1, '0912345678', 'Amy', 0, 100, '00/01/01,00:01:40', "
                         "'kept from before', 'inbox', 1),"
                         "('b', 1, '+886912345678', '', 1, 200, '00/01/01,00:03:20', "
                         "'晚餐 tonight', 'sent', 0);",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
        sqlite3_close(raw);
    }
    OpenWriter();
    EXPECT_FALSE(db_.Created());
    EXPECT_EQ(db_.Count(), 2);
    ASSERT_TRUE(db_.Store({Msg(u"+886912345678", u"26/01/01,10:00:00", u"after the update"),
                           Msg(u"0933000222", u"26/01/01,09:00:00", u"someone new")})
                    .ok)
        << db_.LastError();
    struct Case {
        std::u16string query;
        size_t hits;
    } cases[] = {{u"kept from", 1}, {u"晚餐", 1}, {u"after the", 1}, {u"someone", 1}, {u"Amy", 1}};
    for (const Case& c : cases)
        EXPECT_EQ(db_.Search(c.query, 10, 0).size(), c.hits)
            << std::string(c.query.begin(), c.query.end());
    auto people = db_.Conversations(10);
    ASSERT_EQ(people.size(), 2u);
    EXPECT_EQ(people[0].count, 3);
    EXPECT_EQ(people[0].unread, 1);
    EXPECT_EQ(people[0].name, u"Amy");  // the new message has none
    EXPECT_EQ(people[0].last.text, u"after the update");
    EXPECT_EQ(people[1].last.text, u"someone new");
    db_.Close();
    ExpectConsistent(File());

    // The file names its schema: an older program refuses it instead of writing it without the
    // bookkeeping.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(File().c_str(), &raw), SQLITE_OK);
    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(raw, "PRAGMA user_version", -1, &s, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(s, 0), kHistorySchemaVersion);
    sqlite3_finalize(s);
    sqlite3_close(raw);
}

TEST_F(HistoryTest, SearchFindsChineseAndLatinNewestFirstWithMarks) {
    OpenWriter();
    ASSERT_TRUE(db_.Store({Msg(u"+886912345678", u"26/01/01,10:00:00", u"明天晚餐在台北見"),
                           Msg(u"+886912345678", u"26/01/02,10:00:00", u"Dinner at eight?"),
                           Msg(u"0922000111", u"26/01/03,10:00:00", u"no dinner today, dinner tmrw",
                               HistoryDirection::kOut, u"陳小明"),
                           Msg(u"0933000222", u"26/01/04,10:00:00", u"Lunch")})
                    .ok);
    struct Case {
        std::u16string query;
        std::vector<std::u16string> texts;  // newest first
    } cases[] = {
        {u"dinner", {u"no dinner today, dinner tmrw", u"Dinner at eight?"}},
        {u"DINNER eight", {u"Dinner at eight?"}},
        {u"晚餐", {u"明天晚餐在台北見"}},  // two characters: no spaces, below the trigram
        {u"在台北", {u"明天晚餐在台北見"}},
        {u"小明", {u"no dinner today, dinner tmrw"}},  // the name
        {u"0922", {u"no dinner today, dinner tmrw"}},  // the number
        {u"breakfast", {}},
        {u"\"", {}},
        {u"%", {}},
    };
    for (const Case& c : cases) {
        std::vector<std::u16string> texts;
        for (const HistoryHit& hit : db_.Search(c.query, 50, 0))
            texts.push_back(hit.message.text);
        EXPECT_EQ(texts, c.texts) << std::string(c.query.begin(), c.query.end());
    }
    auto hits = db_.Search(u"dinner", 50, 0);
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].textMarks, (TextMarks{{3, 6}, {17, 6}}));
    EXPECT_EQ(hits[1].textMarks, (TextMarks{{0, 6}}));
    hits = db_.Search(u"晚餐", 50, 0);
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].textMarks, (TextMarks{{2, 2}}));
    EXPECT_EQ(db_.Search(u"dinner", 1, 1).size(), 1u);
}

TEST_F(HistoryTest, ConversationsJoinSpellingsCountUnreadAndPage) {
    OpenWriter();
    std::vector<HistoryMessage> batch;
    for (int i = 0; i < 120; ++i) {
        char16_t stamp[] = u"26/01/01,10:00:00";
        stamp[12] = static_cast<char16_t>(u'0' + i / 60 % 6);
        stamp[13] = static_cast<char16_t>(u'0' + i / 60 / 6);
        stamp[15] = static_cast<char16_t>(u'0' + i % 60 / 10);
        stamp[16] = static_cast<char16_t>(u'0' + i % 10);
        HistoryMessage m = Msg(i % 2 ? u"+886912345678" : u"0912345678", stamp,
                               u"message " + std::u16string(1, char16_t(u'A' + i % 26)),
                               i % 3 ? HistoryDirection::kIn : HistoryDirection::kOut);
        m.key =
            MessageKey(m.direction, m.number, m.timeText, u"n" + std::u16string(1, char16_t(i)));
        m.unread = i >= 115 && m.direction == HistoryDirection::kIn;
        batch.push_back(m);
    }
    batch.push_back(Msg(u"0933000222", u"25/12/31,10:00:00", u"older"));
    ASSERT_TRUE(db_.Store(batch).ok) << db_.LastError();

    auto list = db_.Conversations(10);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].count, 120);
    EXPECT_EQ(list[0].unread, 4);  // 115..119 but 117, sent
    EXPECT_EQ(list[0].last.time, batch[119].time);
    EXPECT_EQ(list[1].last.text, u"older");
    auto next = db_.Conversations(1, PageCursor{list[0].last.time, list[0].last.id});
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].id, list[1].id);

    // The newest page in time order, then the page before it, without overlap.
    auto page = db_.Messages(list[0].id, 50);
    ASSERT_EQ(page.size(), 50u);
    EXPECT_EQ(page.front().time, batch[70].time);
    EXPECT_EQ(page.back().time, batch[119].time);
    auto before = db_.Messages(list[0].id, 50, PageCursor{page.front().time, page.front().id});
    ASSERT_EQ(before.size(), 50u);
    EXPECT_EQ(before.back().time, batch[69].time);

    ASSERT_TRUE(db_.MarkConversationRead(list[0].id));
    EXPECT_EQ(db_.Conversations(1)[0].unread, 0);
    // Read stays read when the folder still calls it unread.
    ASSERT_TRUE(db_.Store({batch[119]}).ok);
    EXPECT_EQ(db_.Conversations(1)[0].unread, 0);

    // Deleting the newest moves the conversation's last message back; deleting all removes it.
    ASSERT_TRUE(db_.Delete({page.back().id}));
    EXPECT_EQ(db_.Conversations(1)[0].last.time, batch[118].time);
    ASSERT_TRUE(db_.DeleteConversation(list[1].id));
    EXPECT_EQ(db_.Conversations(10).size(), 1u);
    EXPECT_EQ(db_.Count(), 119);
}

TEST_F(HistoryTest, ADamagedFileIsKeptAsideAndANewOneStarted) {
    const std::string junk(8192, '\x5A');
    ASSERT_TRUE(WriteFileAtomic(File(), junk));
    OpenWriter();
    ASSERT_FALSE(db_.KeptAside().empty());
    EXPECT_EQ(ReadWholeFile(db_.KeptAside()).value_or(""), junk);
    EXPECT_TRUE(db_.Created());
    EXPECT_TRUE(db_.Store({Msg(u"123", u"26/01/01,10:00:00", u"after")}).ok);
    EXPECT_EQ(db_.Count(), 1);

    // A reader never moves anything: it reports.
    db_.Close();
    ASSERT_TRUE(WriteFileAtomic(File(), junk));
    HistoryDb reader;
    EXPECT_FALSE(reader.Open(File(), HistoryAccess::kRead));
    EXPECT_EQ(reader.LastErrorKind(), HistoryError::kDamaged);
    EXPECT_EQ(ReadWholeFile(File()).value_or(""), junk);
}

TEST_F(HistoryTest, AFullDiskFailsTheWriteAndKeepsWhatWasStored) {
    OpenWriter();
    ASSERT_TRUE(db_.Store({Msg(u"123", u"26/01/01,10:00:00", u"kept")}).ok);
    const int64_t pages = [&] {
        sqlite3* raw = nullptr;
        sqlite3_open_v2(File().c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(raw, "PRAGMA page_count", -1, &s, nullptr);
        sqlite3_step(s);
        const int64_t n = sqlite3_column_int64(s, 0);
        sqlite3_finalize(s);
        sqlite3_close(raw);
        return n;
    }();
    db_.LimitPagesForTest(pages + 2);
    std::vector<HistoryMessage> big;
    for (int i = 0; i < 500; ++i)
        big.push_back(
            Msg(u"456", u"26/01/02,10:00:00",
                u"filler " + std::u16string(150, u'x') + std::u16string(1, char16_t(u'a' + i))));
    for (size_t i = 0; i < big.size(); ++i)
        big[i].key += std::u16string(1, char16_t(i + 1));
    const StoreResult r = db_.Store(big);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(db_.LastErrorKind(), HistoryError::kFull);
    EXPECT_NE(db_.LastError().find("No space left on device"), std::string::npos)
        << db_.LastError();
    EXPECT_NE(db_.LastError().find("history.sqlite"), std::string::npos);
    EXPECT_EQ(db_.Count(), 1);
    EXPECT_EQ(db_.Search(u"kept", 5, 0).size(), 1u);
}

TEST_F(HistoryTest, OneWriterAtATimeAndReadersCheckTheSchema) {
    OpenWriter();
    ASSERT_TRUE(db_.Store({Msg(u"123", u"26/01/01,10:00:00", u"one")}).ok);
    HistoryDb second;
    EXPECT_FALSE(second.Open(File(), HistoryAccess::kWrite));
    EXPECT_EQ(second.LastErrorKind(), HistoryError::kBusy);
    HistoryDb reader;
    ASSERT_TRUE(reader.Open(File(), HistoryAccess::kRead)) << reader.LastError();
    EXPECT_EQ(reader.Count(), 1);
    db_.Close();
    EXPECT_TRUE(second.Open(File(), HistoryAccess::kWrite)) << second.LastError();
}

TEST_F(HistoryTest, AFileOfAnotherKindOrANewerVersionIsLeftAlone) {
    struct Case {
        const char* sql;
        HistoryError error;
    } cases[] = {
        {"CREATE TABLE notes(x)", HistoryError::kForeign},
        {"PRAGMA user_version=1; CREATE TABLE message(x)", HistoryError::kForeign},
        {"PRAGMA user_version=99", HistoryError::kNewerSchema},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(File());
        sqlite3* raw = nullptr;
        ASSERT_EQ(sqlite3_open(File().c_str(), &raw), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(raw, c.sql, nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(raw);
        const std::string before = ReadWholeFile(File()).value_or("");
        for (HistoryAccess access : {HistoryAccess::kWrite, HistoryAccess::kRead}) {
            HistoryDb db;
            EXPECT_FALSE(db.Open(File(), access)) << c.sql;
            EXPECT_EQ(db.LastErrorKind(), c.error) << c.sql;
            EXPECT_TRUE(db.KeptAside().empty());
        }
        EXPECT_TRUE(ReadWholeFile(File()).value_or("") == before) << c.sql;
    }
}

TEST_F(HistoryTest, TheFileIsPrivate) {
    OpenWriter();
    struct stat st {};
    ASSERT_EQ(::stat(File().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 077, 0u);
}

}  // namespace
}  // namespace telvane::testing
