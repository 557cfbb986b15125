// The Inbox after a listing: what the user has not opened here stays unread, the SIM's own
// outgoing messages are not taken for received ones, and what does not fit is counted.
#include "control/inbox_merge.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"

namespace telvane {
namespace {

SmsRecord Received(int32_t index, std::u16string_view status,
                   std::u16string time = u"26/12/03,07:30:45",
                   std::u16string text = u"Running late") {
    SmsRecord r;
    r.index = index;
    r.status = status;
    r.number = u"+886912345678";
    r.time = std::move(time);
    r.text = std::move(text);
    return r;
}

FolderTable Inbox(const std::vector<SmsRecord>& records) {
    FolderTable table;
    for (const SmsRecord& r : records)
        table.Add(r);
    return table;
}

std::vector<SmsRecord> Records(const FolderTable& table) {
    std::vector<SmsRecord> records;
    for (const FolderEntry& e : table.entries)
        if (e.slot >= 0) records.push_back(e.record);
    return records;
}

TEST(MergeInbox, StatusComesFromWhatTheUserDidHere) {
    struct Case {
        const char* what;
        std::vector<SmsRecord> inbox;
        SmsRecord listed;
        std::u16string status;
    } cases[] = {
        {"unread here, the listing marked it read on the SIM",
         {Received(6, kStatusUnread)},
         Received(6, kStatusRead),
         u"REC UNREAD"},
        {"opened here", {Received(6, kStatusRead)}, Received(6, kStatusUnread), u"REC READ"},
        {"new on the SIM", {}, Received(6, kStatusUnread), u"REC UNREAD"},
        {"new on the SIM, read on a phone", {}, Received(6, kStatusRead), u"REC READ"},
        {"the index now holds another message",
         {Received(6, kStatusUnread)},
         Received(6, kStatusRead, u"26/12/09,10:00:00"),
         u"REC READ"},
        {"the same message at another index",
         {Received(5, kStatusUnread)},
         Received(6, kStatusRead),
         u"REC READ"},
        {"a missing part arrived: the text grew",
         {Received(6, kStatusUnread, u"26/12/03,07:30:45", u"Part one [part 2 of 2 missing]")},
         Received(6, kStatusRead, u"26/12/03,07:30:45", u"Part one and two"),
         u"REC UNREAD"},
    };
    for (const Case& c : cases) {
        const InboxMerge m = MergeInbox(Inbox(c.inbox), {c.listed});
        ASSERT_EQ(m.inbox.usedCount, 1) << c.what;
        SmsRecord expected = c.listed;
        expected.status = c.status;
        EXPECT_EQ(m.inbox.entries[0].record, expected) << c.what;
        EXPECT_EQ(m.notShown, 0) << c.what;
    }
}

TEST(MergeInbox, StoredOutgoingMessagesStayOutgoingWithoutATime) {
    SmsRecord unsent;
    unsent.index = 12;
    unsent.status = kStatusUnsent;
    unsent.number = u"+886910555777";
    unsent.text = u"Thanks, I will call you tomorrow.";
    SmsRecord sent = unsent;
    sent.index = 13;
    sent.status = kStatusSent;
    sent.time = u"26/12/08,10:00:00";  // whatever a decoder made of it, not a centre time
    // An unread received message once held index 13: it lends the outgoing one nothing.
    SmsRecord old = Received(13, kStatusUnread);
    old.number = sent.number;
    old.time.clear();

    const InboxMerge m = MergeInbox(Inbox({old}), {Received(1, kStatusRead), unsent, sent});
    const std::vector<SmsRecord> records = Records(m.inbox);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1], unsent);
    EXPECT_EQ(records[2].status, u"STO SENT");
    EXPECT_EQ(records[2].number, u"+886910555777");
    EXPECT_EQ(records[2].time, u"");
    EXPECT_TRUE(IsStoredOutgoing(records[1]));
    EXPECT_TRUE(IsStoredOutgoing(records[2]));
    EXPECT_FALSE(IsStoredOutgoing(records[0]));
}

TEST(MergeInbox, MessagesGoneFromTheSimLeaveAndTheOverflowIsCounted) {
    const InboxMerge gone = MergeInbox(
        Inbox({Received(1, kStatusUnread), Received(2, kStatusRead)}), {Received(2, kStatusRead)});
    EXPECT_EQ(Records(gone.inbox), std::vector<SmsRecord>{Received(2, kStatusRead)});

    std::vector<SmsRecord> listed;
    for (int i = 1; i <= kFolderSlots + 30; ++i)
        listed.push_back(Received(i, kStatusRead, u"26/12/03,07:30:45", Widen(std::to_string(i))));
    const InboxMerge full = MergeInbox(FolderTable{}, listed);
    EXPECT_EQ(full.inbox.usedCount, kFolderSlots);
    EXPECT_EQ(full.notShown, 30);
    EXPECT_EQ(full.inbox.entries[kFolderSlots - 1].record.index, kFolderSlots);
}

TEST(AddArrivedMessage, AddsUnreadOnceAndSaysWhenFull) {
    FolderTable inbox = Inbox({Received(1, kStatusRead)});
    const SmsRecord arrived = Received(7, kStatusRead, u"26/12/10,08:00:08", u"Hi");
    const int32_t position = AddArrivedMessage(inbox, arrived);
    ASSERT_EQ(position, 1);
    EXPECT_EQ(inbox.entries[1].record.status, u"REC UNREAD");
    EXPECT_EQ(inbox.entries[1].record.text, u"Hi");
    // Announced twice (or already listed): no second row.
    EXPECT_EQ(AddArrivedMessage(inbox, arrived), 1);
    EXPECT_EQ(inbox.usedCount, 2);

    FolderTable full;
    for (int i = 0; i < kFolderSlots; ++i)
        full.Add(Received(100 + i, kStatusRead));
    EXPECT_EQ(AddArrivedMessage(full, arrived), -1);
    EXPECT_EQ(full.usedCount, kFolderSlots);
}

// A long message of three parts from the same sender as Received(), joined from those given.
SmsRecord Joined(std::vector<std::pair<int32_t, int32_t>> sequenceAndIndex,
                 std::u16string_view status, int32_t reference = 42) {
    std::vector<SmsPart> parts;
    for (const auto& [sequence, index] : sequenceAndIndex) {
        SmsRecord r = Received(index, status, u"26/12/03,07:30:4" + Widen(std::to_string(sequence)),
                               u"p" + Widen(std::to_string(sequence)));
        parts.push_back({r, ConcatInfo{reference, 8, 3, sequence}});
    }
    return JoinParts(parts).front().record;
}

TEST(MergeInbox, JoinedMessagesKeepTheirStatusWhileTheirPartsChange) {
    struct Case {
        const char* what;
        SmsRecord held;
        SmsRecord listed;
        std::u16string status;
    } cases[] = {
        {"the same parts", Joined({{1, 4}, {2, 5}}, kStatusUnread),
         Joined({{1, 4}, {2, 5}}, kStatusRead), u"REC UNREAD"},
        {"an earlier part came: new first index and time", Joined({{2, 5}, {3, 6}}, kStatusUnread),
         Joined({{1, 9}, {2, 5}, {3, 6}}, kStatusRead), u"REC UNREAD"},
        {"opened here, a part the SIM has as unread came since", Joined({{1, 4}}, kStatusRead),
         Joined({{1, 4}, {2, 5}}, kStatusUnread), u"REC UNREAD"},
        {"opened here, nothing new", Joined({{1, 4}, {2, 5}}, kStatusRead),
         Joined({{1, 4}, {2, 5}}, kStatusUnread), u"REC READ"},
        {"another reference at the same index", Joined({{1, 4}}, kStatusUnread),
         Joined({{1, 4}}, kStatusRead, 43), u"REC READ"},
        {"a plain message at a part's index", Received(4, kStatusUnread),
         Joined({{1, 4}}, kStatusRead), u"REC READ"},
    };
    for (const Case& c : cases) {
        const InboxMerge m = MergeInbox(Inbox({c.held}), {c.listed});
        ASSERT_EQ(m.inbox.usedCount, 1) << c.what;
        EXPECT_EQ(m.inbox.entries[0].record.status, c.status) << c.what;
        EXPECT_EQ(m.inbox.entries[0].record.extra, c.listed.extra) << c.what;
    }
}

TEST(AddArrivedPart, APartJoinsItsMessageOrComesInMarked) {
    FolderTable inbox = Inbox({Received(1, kStatusRead), Joined({{1, 4}}, kStatusRead)});
    SmsRecord part3 = Received(8, kStatusUnread, u"26/12/03,07:31:00", u"p3");
    const Arrival joined = AddArrivedPart(inbox, {part3, ConcatInfo{42, 8, 3, 3}}, u"<%1>");
    EXPECT_EQ(joined.position, 1);
    EXPECT_TRUE(joined.changed);
    EXPECT_EQ(inbox.usedCount, 2);
    EXPECT_EQ(inbox.entries[1].record.text, u"p1<2>p3");
    EXPECT_EQ(inbox.entries[1].record.status, u"REC UNREAD");
    EXPECT_EQ(SimIndexes(inbox.entries[1].record), (std::vector<int32_t>{4, 8}));
    // Announced again: nothing changes.
    const SmsRecord before = inbox.entries[1].record;
    EXPECT_FALSE(AddArrivedPart(inbox, {part3, ConcatInfo{42, 8, 3, 3}}, u"<%1>").changed);
    EXPECT_EQ(inbox.entries[1].record, before);

    // Another reference: a message of its own, its missing parts marked.
    const Arrival apart = AddArrivedPart(inbox, {part3, ConcatInfo{43, 8, 3, 3}}, u"<%1>");
    EXPECT_EQ(apart.position, 2);
    EXPECT_EQ(inbox.entries[2].record.text, u"<1><2>p3");
    EXPECT_EQ(inbox.entries[2].record.index, 8);
    EXPECT_TRUE(IsSameSimMessage(inbox.entries[2].record, inbox.entries[2].record));
}

}  // namespace
}  // namespace telvane

namespace telvane {
namespace {

SmsPart LongPart(int32_t index, int32_t sequence, std::u16string text, std::u16string time,
                 int32_t total = 2) {
    return SmsPart{Received(index, kStatusUnread, std::move(time), std::move(text)),
                   ConcatInfo{42, 8, total, sequence}};
}

std::vector<std::u16string> Texts(const std::vector<JoinedMessage>& messages) {
    std::vector<std::u16string> texts;
    for (const JoinedMessage& m : messages)
        texts.push_back(m.record.text);
    return texts;
}

// Two long messages from one sender with the same 8-bit reference: a part that would take the
// place of a different part, or a day apart, is another message; parts go to the closest in time.
TEST(JoinParts, TwoLongMessagesWithTheSameReferenceStayApart) {
    const std::u16string early = u"26/12/03,07:30:45";
    const std::u16string later = u"26/12/03,09:00:00";
    const std::u16string nextWeek = u"26/12/10,07:30:45";
    struct Case {
        const char* what;
        std::vector<SmsPart> parts;
        std::vector<std::u16string> texts;
    } cases[] = {
        {"one after the other",
         {LongPart(1, 1, u"Hello ", early), LongPart(2, 2, u"world", early),
          LongPart(3, 1, u"Second ", later), LongPart(4, 2, u"one", later)},
         {u"Hello world", u"Second one"}},
        {"interleaved, told apart by time",
         {LongPart(1, 1, u"Hello ", early), LongPart(3, 1, u"Second ", later),
          LongPart(2, 2, u"world", early), LongPart(4, 2, u"one", later)},
         {u"Hello world", u"Second one"}},
        {"a week apart, no place taken",
         {LongPart(1, 1, u"Hello ", early), LongPart(4, 2, u"one", nextWeek)},
         {u"Hello [part 2 of 2 missing]", u"[part 1 of 2 missing]one"}},
        {"a part stored twice is one part",
         {LongPart(1, 1, u"Hello ", early), LongPart(5, 1, u"Hello ", early),
          LongPart(2, 2, u"world", early)},
         {u"Hello world"}},
        {"another total is another message",
         {LongPart(1, 1, u"Hello ", early), LongPart(3, 1, u"Third ", early, 3)},
         {u"Hello [part 2 of 2 missing]", u"Third [part 2 of 3 missing][part 3 of 3 missing]"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Texts(JoinParts(c.parts)), c.texts);
    }
}

// A part arriving for a message whose place is taken by a different part comes in as a message
// of its own; the first keeps its words and indexes.
TEST(AddArrivedPart, APartOfAnotherMessageWithTheSameReferenceDoesNotJoin) {
    const std::u16string time = u"26/12/03,07:30:45";
    const JoinedMessage first =
        JoinParts({LongPart(1, 1, u"Hello ", time), LongPart(2, 2, u"world", time)}).front();
    FolderTable inbox = Inbox({first.record});
    const Arrival arrival = AddArrivedPart(inbox, LongPart(3, 1, u"Second ", time));
    EXPECT_TRUE(arrival.changed);
    const std::vector<SmsRecord> records = Records(inbox);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], first.record);
    EXPECT_EQ(records[1].text, u"Second [part 2 of 2 missing]");
    EXPECT_EQ(SimIndexes(records[1]), std::vector<int32_t>{3});

    // Its second part joins it, not the first.
    AddArrivedPart(inbox, LongPart(4, 2, u"one", time));
    EXPECT_EQ(Records(inbox)[0], first.record);
    EXPECT_EQ(Records(inbox)[1].text, u"Second one");
}

}  // namespace
}  // namespace telvane
