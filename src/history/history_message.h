// One message as the history keeps it: a whole message (every part joined), with the other
// party, the direction, the time and where it was last seen.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace telvane {

enum class HistoryDirection : int32_t { kIn = 0, kOut = 1 };

struct HistoryMessage {
    int64_t id = 0;         // the row; 0 before it is stored
    std::u16string key;     // stable: the same message read again has the same key
    std::u16string number;  // the other party, one number
    std::u16string name;    // the name the number had when the message was stored
    HistoryDirection direction = HistoryDirection::kIn;
    int64_t time = 0;         // seconds since 2000-01-01 00:00 of the message's own clock
    std::u16string timeText;  // yy/MM/dd,hh:mm:ss as the modem or the folder gave it
    std::u16string text;
    std::u16string store;  // "sim", "inbox", "sent", "saved", "import"
    int32_t simIndex = -1;
    std::u16string delivery;  // "", "pending", "delivered" or "failed"
    bool unread = false;
    std::u16string smsc;  // the service centre of a received message, when known

    bool operator==(const HistoryMessage&) const = default;
};

// A search hit: the message and where the words searched for are in its text, number and name
// (offsets and lengths in UTF-16 units, in order).
using TextMarks = std::vector<std::pair<int32_t, int32_t>>;
struct HistoryHit {
    HistoryMessage message;
    TextMarks textMarks;
    TextMarks numberMarks;
    TextMarks nameMarks;
};

// The people the user exchanged messages with: one per person, however the number was written.
struct Conversation {
    int64_t id = 0;
    std::u16string person;  // the key that makes two spellings of a number one person
    std::u16string number;  // as last seen
    std::u16string name;    // the last name known, or empty
    int64_t count = 0;
    int64_t unread = 0;
    HistoryMessage last;
};

// Where a page of a conversation or a list ends, to ask for the next one.
struct PageCursor {
    int64_t time = 0;
    int64_t id = 0;
};

}  // namespace telvane
