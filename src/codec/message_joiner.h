// Joins the parts of concatenated messages into whole messages, as a listing of the SIM or the
// parts that arrived so far give them.  Pure: the caller keeps the parts (for live arrivals,
// across reconnects) and joins again whenever one is added.
//
//   std::vector<SmsPart> parts = ...;  // ParseStoredMessagePart for each listed entry
//   for (const JoinedMessage& m : JoinParts(parts))
//       Show(m.record);  // m.indexes: every SIM index, to delete them all
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

struct JoinedMessage {
    // The first part present, with the whole text; "REC UNREAD" when any part is unread.
    SmsRecord record;
    std::vector<int32_t> indexes;      // the SIM index of every part, in sequence order
    std::optional<ConcatInfo> concat;  // reference, size and total of a joined message
    int32_t missingParts = 0;

    bool complete() const { return missingParts == 0; }
};

// Parts with the same sender (or recipient), direction (received or stored outgoing), reference,
// reference size and total are one message; every other record is a message of its own.
// Messages come in the order of their first part in `parts`.  A sequence that is there twice
// keeps its first text and both indexes.  Missing parts become `missingMarker`.
std::vector<JoinedMessage> JoinParts(const std::vector<SmsPart>& parts,
                                     std::u16string_view missingMarker = kMissingPartMarker);

}  // namespace telvane
