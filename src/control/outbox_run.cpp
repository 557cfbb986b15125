#include "control/outbox_run.h"

#include <vector>

#include "control/recipients.h"

namespace telvane {

namespace {

// Job starters are asked this many times in a row before a request counts as refused.
constexpr int kStartAttempts = 201;
constexpr FolderTableKind kTransfer = FolderTableKind::kTransfer;

// A message every recipient already has (kept in the Outbox while Sent was full) is not sent.
int HighestUnservedPosition(const FolderTable& table) {
    for (int position = kFolderSlots - 1; position >= 0; --position) {
        if (table.IsUsed(position) && !table.entries[position].record.number.empty()) {
            return position;
        }
    }
    return -1;
}

// The record as Sent keeps it: with everyone it was written to.
SmsRecord AsSent(SmsRecord record) {
    if (!record.extra.empty()) {
        record.number = record.extra;
        record.extra.clear();
    }
    return record;
}

}  // namespace

void OutboxRun::StartLater() {
    host_.PostTask([this] { Start(); });
}

void OutboxRun::Start() {
    MoveServedToSent();
    LoadFolder(host_, store_, kTransfer, FolderId::Outbox);
    if (HighestUnservedPosition(store_.Transfer()) < 0) return;
    if (host_.Busy() || host_.SendRunActive()) {
        host_.Window().Beep();
        return;
    }
    host_.PostBusy(true);
    slot_ = -1;
    // A failure reported before this run belongs to no message of it.
    submissions_.Reset();
    running_ = true;
    if (Step()) {
        End();
    } else {
        host_.StartTimer(kTimerOutboxStep, 10000);
    }
}

void OutboxRun::Tick() {
    if (!running_) {
        host_.Window().KillTimer(kTimerOutboxStep);
    } else if (Step()) {
        End();
    }
}

void OutboxRun::Stop() {
    if (running_) End();
}

bool OutboxRun::Step() {
    bool silent = false;
    if (submissions_.TakeFailure(SendRun::kOutbox, &silent)) {
        // The engine reports nothing when a send never got its "OK": the missing confirmation
        // is the failure.
        if (silent) host_.ShowStatus(LoadUiString(ui_text::kSendFailed));
        return true;
    }
    LoadFolder(host_, store_, kTransfer, FolderId::Outbox);
    const FolderTable& outbox = store_.Transfer();
    LinkEngine* engine = host_.Engine();
    if (outbox.usedCount == 0 || !host_.Online() || engine == nullptr) return true;

    // Stay with the message being served; then the newest that still has a recipient.
    if (slot_ < 0 || !outbox.IsUsed(slot_)) {
        slot_ = HighestUnservedPosition(outbox);
        if (slot_ < 0) return true;
    }
    SmsRecord working = outbox.entries[slot_].record;
    host_.ShowStatus(LoadUiString(ui_text::kPleaseWait));

    // The saved record holds only the recipients not yet confirmed, so its first one is next.
    const std::u16string recipient = TakeRecipient(working.number);
    if (recipient.empty()) {
        host_.ShowStatus(LoadUiString(ui_text::kSendFailed));
        return true;
    }
    for (int attempt = 0; attempt < kStartAttempts; ++attempt) {
        if (engine->SendTextMessage(recipient, working.text, {}) != 0) {
            submissions_.Submitted(SendRun::kOutbox);
            return false;
        }
    }
    return true;
}

void OutboxRun::End() {
    host_.Window().KillTimer(kTimerOutboxStep);
    running_ = false;
    slot_ = -1;
    submissions_.Forget(SendRun::kOutbox);
    host_.PostBusy(false);
}

void OutboxRun::MoveServedToSent() {
    LoadFolder(host_, store_, kTransfer, FolderId::Outbox);
    std::vector<SmsRecord> served;
    std::vector<int> positions;
    for (int position = 0; position < kFolderSlots; ++position) {
        const FolderTable& outbox = store_.Transfer();
        if (!outbox.IsUsed(position) || !outbox.entries[position].record.number.empty()) continue;
        SmsRecord sent = outbox.entries[position].record;
        sent.number = sent.extra;
        sent.extra.clear();
        served.push_back(std::move(sent));
        positions.push_back(position);
    }
    if (served.empty()) return;
    LoadFolder(host_, store_, kTransfer, FolderId::Sent);
    size_t moved = 0;
    while (moved < served.size() && store_.AddTransfer(served[moved]) != 0)
        ++moved;
    if (moved == 0 || !SaveFolder(host_, store_, kTransfer, FolderId::Sent)) return;
    LoadFolder(host_, store_, kTransfer, FolderId::Outbox);
    for (size_t i = 0; i < moved; ++i)
        store_.RemoveTransfer(positions[i]);
    SaveFolder(host_, store_, kTransfer, FolderId::Outbox);
}

bool OutboxRun::Record(const SmsRecord& record) {
    if (store_.UpdateRecord(FolderId::Outbox, slot_, record) != 0) return true;
    host_.ReportFileError(ui_text::kSaveFailed, store_.LastError());
    End();
    return false;
}

void OutboxRun::Confirmed() {
    LoadFolder(host_, store_, kTransfer, FolderId::Outbox);
    if (slot_ < 0 || !store_.Transfer().IsUsed(slot_)) return;
    SmsRecord record = store_.Transfer().entries[slot_].record;
    std::u16string remaining = record.number;
    TakeRecipient(remaining);

    // Who is still to be served is saved at once, so that no later run sends to anyone twice;
    // `extra` (never shown) remembers the full list for Sent.
    if (record.extra.empty()) record.extra = record.number;
    record.number = remaining;
    if (!Record(record)) return;
    if (!remaining.empty()) return;

    // The last recipient: the message goes to Sent with everyone it was written to.  Until
    // then it waits in the Outbox with no recipient left, neither lost nor sent again.
    const int served = slot_;
    slot_ = -1;
    LoadFolder(host_, store_, kTransfer, FolderId::Sent);
    if (store_.AddTransfer(AsSent(record)) == 0) {
        host_.Window().Beep();
        host_.ShowStatus(LoadUiString(ui_text::kSentFull));
        return;
    }
    if (!SaveFolder(host_, store_, kTransfer, FolderId::Sent)) return;
    LoadFolder(host_, store_, kTransfer, FolderId::Outbox);
    store_.RemoveTransfer(served);
    if (!SaveFolder(host_, store_, kTransfer, FolderId::Outbox)) return;
    host_.ShowFolder(static_cast<int>(FolderId::Sent));
    if (store_.Transfer().usedCount == 0) host_.ShowStatus(LoadUiString(ui_text::kSendComplete));
}

}  // namespace telvane
