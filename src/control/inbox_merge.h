// The Inbox as the SIM's messages and what the user did with them here.
//
// A listing marks every unread message read on the SIM, so the SIM's status cannot tell which
// messages the user has seen.  The Inbox remembers it: a message it holds as unread stays unread
// until the user opens it in this program, whatever a later listing says.
//
//   InboxMerge m = MergeInbox(inboxFromFile, listedMessages);
//   save m.inbox; if (m.notShown > 0) tell the user "30 more messages on the SIM"
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codec/message_joiner.h"
#include "codec/sms_record.h"
#include "store/folder_table.h"

namespace telvane {

inline constexpr std::u16string_view kStatusUnread = u"REC UNREAD";
inline constexpr std::u16string_view kStatusRead = u"REC READ";
inline constexpr std::u16string_view kStatusUnsent = u"STO UNSENT";
inline constexpr std::u16string_view kStatusSent = u"STO SENT";

// A message the SIM stores as one of its own outgoing ones: the number is its recipient.
bool IsStoredOutgoing(const SmsRecord& record);

// The same message: same SIM index, same other party, same time.  The text may differ (a part
// of a long message that arrived later fills in its gap).  Joined messages (a parts note in
// `extra`) are the same when their other party and reference match and they share a SIM index:
// a part that arrived since may have changed the first index and time.
bool IsSameSimMessage(const SmsRecord& a, const SmsRecord& b);

struct InboxMerge {
    FolderTable inbox;                        // the new Inbox, in listing order
    int32_t notShown = 0;                     // listed messages beyond what the Inbox holds
    std::vector<std::string> notShownStores;  // the store of each, as listed
};

// The Inbox after a listing of the SIM, one record per message (parts already joined).  A listed
// received message that `current` holds keeps the status it has there (unread stays unread, one
// opened here stays read, unless an unread part joined it since); a new one takes the SIM's.  The
// SIM's stored outgoing messages keep their STO status, which marks them outgoing, and no time.
// Messages gone from the SIM leave the Inbox; the first kFolderSlots listed are kept and the rest
// counted in notShown.
InboxMerge MergeInbox(const FolderTable& current, const std::vector<SmsRecord>& listed);

struct Arrival {
    int32_t position = -1;  // -1 when the Inbox is full
    bool changed = false;   // false when the Inbox held it already
};

// A message announced while connected, read from the SIM: added as unread unless the Inbox holds
// it already.  A part of a long message joins the Inbox's message it belongs to (which becomes
// unread), or comes in as a message of its own with the rest marked missing.
Arrival AddArrivedPart(FolderTable& inbox, const SmsPart& arrived,
                       std::u16string_view missingMarker = kMissingPartMarker);
// A message of one part.  Its position, the one of the message already there, or -1 when the
// Inbox is full.
int32_t AddArrivedMessage(FolderTable& inbox, const SmsRecord& arrived);

}  // namespace telvane
