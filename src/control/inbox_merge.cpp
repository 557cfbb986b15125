#include "control/inbox_merge.h"

#include <algorithm>
#include <optional>

namespace telvane {

bool IsStoredOutgoing(const SmsRecord& record) {
    return record.status == kStatusUnsent || record.status == kStatusSent;
}

namespace {

bool SameKey(const PartsNote& a, const PartsNote& b) {
    return a.concat.reference == b.concat.reference &&
           a.concat.referenceBits == b.concat.referenceBits && a.concat.total == b.concat.total;
}

bool Holds(const std::vector<int32_t>& indexes, int32_t index) {
    return std::find(indexes.begin(), indexes.end(), index) != indexes.end();
}

}  // namespace

bool IsSameSimMessage(const SmsRecord& a, const SmsRecord& b) {
    // Index 3 of the phone's store is another message than index 3 of the SIM's.  A record read
    // back from the folder's file no longer knows its store.
    if (!a.store.empty() && !b.store.empty() && a.store != b.store) return false;
    const std::optional<PartsNote> noteA = ParsePartsNote(a.extra);
    const std::optional<PartsNote> noteB = ParsePartsNote(b.extra);
    if (noteA || noteB) {
        if (!noteA || !noteB || a.number != b.number || !SameKey(*noteA, *noteB)) return false;
        const std::vector<int32_t> indexes = noteA->Indexes();
        for (int32_t index : noteB->Indexes())
            if (Holds(indexes, index)) return true;
        return false;
    }
    return a.index >= 0 && a.index == b.index && a.number == b.number && a.time == b.time;
}

InboxMerge MergeInbox(const FolderTable& current, const std::vector<SmsRecord>& listed) {
    InboxMerge merge;
    for (const SmsRecord& message : listed) {
        if (merge.inbox.usedCount >= kFolderSlots) {
            ++merge.notShown;
            merge.notShownStores.push_back(message.store);
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
                // A part the user has not seen makes the whole message unread again.
                const std::vector<int32_t> seen = SimIndexes(entry.record);
                bool grew = false;
                for (int32_t index : SimIndexes(record))
                    grew = grew || !Holds(seen, index);
                if (!grew || record.status != kStatusUnread) record.status = entry.record.status;
                break;
            }
        }
        merge.inbox.Add(record);
    }
    return merge;
}

Arrival AddArrivedPart(FolderTable& inbox, const SmsPart& arrived,
                       std::u16string_view missingMarker) {
    if (!arrived.concat) {
        for (const FolderEntry& entry : inbox.entries) {
            if (entry.slot >= 0 && IsSameSimMessage(entry.record, arrived.record))
                return {entry.slot, false};
        }
        return {AddArrivedMessage(inbox, arrived.record), true};
    }
    const ConcatInfo& concat = *arrived.concat;
    for (FolderEntry& entry : inbox.entries) {
        if (entry.slot < 0 || IsStoredOutgoing(entry.record) ||
            entry.record.number != arrived.record.number)
            continue;
        const std::optional<PartsNote> note = ParsePartsNote(entry.record.extra);
        if (!note || note->concat.reference != concat.reference ||
            note->concat.referenceBits != concat.referenceBits ||
            note->concat.total != concat.total)
            continue;
        if (Holds(note->Indexes(), arrived.record.index)) return {entry.slot, false};
        std::vector<SmsPart> parts = SplitJoined(entry.record);
        parts.push_back(arrived);
        std::vector<JoinedMessage> joined = JoinParts(parts, missingMarker);
        // Another message with the same sender and reference (its place is taken by a different
        // part, or it is a day apart), or a note that no longer fits its text: the part does not
        // join this one.
        if (joined.size() != 1) continue;
        entry.record = std::move(joined.front().record);
        entry.record.status = std::u16string(kStatusUnread);
        return {entry.slot, true};
    }
    std::vector<JoinedMessage> alone = JoinParts({arrived}, missingMarker);
    SmsRecord record = std::move(alone.front().record);
    record.status = std::u16string(kStatusUnread);
    if (!inbox.Add(record)) return {};
    for (const FolderEntry& entry : inbox.entries) {
        if (entry.slot >= 0 && entry.record == record) return {entry.slot, true};
    }
    return {};
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
