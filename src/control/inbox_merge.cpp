#include "control/inbox_merge.h"

namespace telvane {

bool IsStoredOutgoing(const SmsRecord& record) {
    return record.status == kStatusUnsent || record.status == kStatusSent;
}

bool IsSameSimMessage(const SmsRecord& a, const SmsRecord& b) {
    return a.index >= 0 && a.index == b.index && a.number == b.number && a.time == b.time;
}

InboxMerge MergeInbox(const FolderTable& current, const std::vector<SmsRecord>& listed) {
    InboxMerge merge;
    for (const SmsRecord& message : listed) {
        if (merge.inbox.usedCount >= kFolderSlots) {
            ++merge.notShown;
            continue;
        }
        SmsRecord record = message;
        if (IsStoredOutgoing(record)) {
            // Written on a phone and never received: it has no centre time.
            record.time.clear();
        } else {
            for (const FolderEntry& entry : current.entries) {
                if (entry.slot < 0 || IsStoredOutgoing(entry.record) ||
                    !IsSameSimMessage(entry.record, record))
                    continue;
                record.status = entry.record.status;
                break;
            }
        }
        merge.inbox.Add(record);
    }
    return merge;
}

int32_t AddArrivedMessage(FolderTable& inbox, const SmsRecord& arrived) {
    for (const FolderEntry& entry : inbox.entries) {
        if (entry.slot >= 0 && IsSameSimMessage(entry.record, arrived)) return entry.slot;
    }
    SmsRecord record = arrived;
    record.status = std::u16string(kStatusUnread);
    if (!inbox.Add(record)) return -1;
    for (const FolderEntry& entry : inbox.entries) {
        if (entry.slot >= 0 && entry.record == record) return entry.slot;
    }
    return -1;
}

}  // namespace telvane
