// Joins the parts of concatenated messages into whole messages, as a listing of the SIM or the
// parts that arrived so far give them.  Pure: the caller keeps the parts (for live arrivals,
// across reconnects) and joins again whenever one is added.
//
//   std::vector<SmsPart> parts = ...;  // ParseStoredMessagePart for each listed entry
//   for (const JoinedMessage& m : JoinParts(parts))
//       Show(m.record);  // m.indexes: every SIM index, to delete them all
//
// A joined message is kept as one record whose `extra` notes its parts (FormatPartsNote);
// SplitJoined gives the parts back, so that a part arriving later joins the message it belongs
// to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codec/sms_record.h"

namespace telvane {

// Stands for a part that is not there; %1 is its sequence, %2 the total.
inline constexpr std::u16string_view kMissingPartMarker = u"[part %1 of %2 missing]";

// One stretch of a joined text, in sequence order.
struct JoinedSegment {
    int32_t sequence = 0;
    int32_t index = -1;  // the part's SIM index; -1 for a missing part (the stretch is its marker)
    int32_t length = 0;  // UTF-16 units; 0 for a repeat of a sequence already there

    bool operator==(const JoinedSegment&) const = default;
};

struct JoinedMessage {
    // The first part present, with the whole text; "REC UNREAD" when any part is unread.  For a
    // joined message `extra` holds its parts note.
    SmsRecord record;
    std::vector<int32_t> indexes;         // the SIM index of every part, in sequence order
    std::optional<ConcatInfo> concat;     // reference, size and total of a joined message
    std::vector<JoinedSegment> segments;  // a joined message's text, part by part
    int32_t missingParts = 0;

    bool complete() const { return missingParts == 0; }
};

// Parts with the same sender (or recipient), direction (received or stored outgoing), reference,
// reference size and total are one message, unless a part would take the place of another part
// with a different text, or comes more than a day apart from the message's parts: then it
// belongs to another message of the same key (the closest in time) or starts one.  Every other
// record is a message of its own.  Messages come in the order of their first part in `parts`.
// A sequence that is there twice with the same text keeps it once and both indexes.  Missing
// parts become `missingMarker`.
std::vector<JoinedMessage> JoinParts(const std::vector<SmsPart>& parts,
                                     std::u16string_view missingMarker = kMissingPartMarker);

// What a joined record's `extra` says of its parts.
struct PartsNote {
    ConcatInfo concat;  // sequence unused
    std::vector<JoinedSegment> segments;

    // The SIM index of every part present, in sequence order.
    std::vector<int32_t> Indexes() const;
};

// "parts REF/BITS/TOTAL SEQ:INDEX:LENGTH ...", e.g. "parts 100/8/3 1:4:153 2:-1:21 3:7:12".
std::u16string FormatPartsNote(const ConcatInfo& concat,
                               const std::vector<JoinedSegment>& segments);
// nullopt for any other text (a plain message's empty extra among them).
std::optional<PartsNote> ParsePartsNote(std::u16string_view extra);

// The SIM indexes a record stands for: every part of a joined message, else its own index (none
// for -1).
std::vector<int32_t> SimIndexes(const SmsRecord& record);

// The parts a record stands for, each with its stretch of the text: those its note names, or the
// record alone when it has no note or one that does not fit its text.
std::vector<SmsPart> SplitJoined(const SmsRecord& record);

}  // namespace telvane
