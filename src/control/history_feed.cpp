#include "control/history_feed.h"

#include <ctime>

#include "codec/message_joiner.h"
#include "control/controller_host.h"
#include "control/delivery_state.h"
#include "control/inbox_merge.h"
#include "history/history_db.h"
#include "history/history_keys.h"
#include "platform/files.h"
#include "platform/text.h"
#include "store/list_date.h"

namespace telvane {
namespace {

const char16_t* StoreName(FolderId folder) {
    switch (folder) {
        case FolderId::Inbox:
            return u"inbox";
        case FolderId::Sent:
            return u"sent";
        case FolderId::Saved:
            return u"saved";
        case FolderId::Outbox:
        case FolderId::Draft:
            return nullptr;
    }
    return nullptr;
}

std::vector<std::u16string> Recipients(std::u16string_view numbers) {
    std::vector<std::u16string> out;
    std::u16string one;
    for (char16_t c : numbers) {
        if (c == u';') {
            if (!one.empty()) out.push_back(one);
            one.clear();
        } else if (c != u' ') {
            one += c;
        }
    }
    if (!one.empty()) out.push_back(one);
    return out;
}

// One state for all the parts sent to `number`: failed when any failed, delivered when all were.
std::u16string DeliveryOf(const std::vector<DeliveryEntry>& entries, std::u16string_view number) {
    bool any = false, failed = false, pending = false;
    for (const DeliveryEntry& e : entries) {
        if (PersonKey(e.number) != PersonKey(number)) continue;
        any = true;
        failed |= e.state == DeliveryState::kFailed;
        pending |= e.state == DeliveryState::kPending;
    }
    if (!any) return {};
    return std::u16string(DeliveryStateName(failed    ? DeliveryState::kFailed
                                            : pending ? DeliveryState::kPending
                                                      : DeliveryState::kDelivered));
}

int64_t Now() {
    return HistoryTime(MakeLocalTimeStamp()).value_or(0);
}

}  // namespace

std::vector<HistoryMessage> HistoryMessagesOf(FolderId folder, const SmsRecord& record,
                                              int64_t now) {
    std::vector<HistoryMessage> out;
    const char16_t* store = StoreName(folder);
    if (store == nullptr) return out;
    const bool outgoing = folder == FolderId::Sent || IsStoredOutgoing(record);
    const auto note = ParsePartsNote(record.extra);
    const std::optional<std::vector<DeliveryEntry>> reports =
        outgoing ? ParseDeliveryEntries(record.extra) : std::nullopt;
    const std::vector<std::u16string> numbers =
        outgoing ? Recipients(record.number) : std::vector<std::u16string>{record.number};
    for (const std::u16string& number : numbers) {
        if (number.empty()) continue;
        HistoryMessage m;
        m.number = number;
        m.direction = outgoing ? HistoryDirection::kOut : HistoryDirection::kIn;
        m.timeText = record.time.substr(0, 17);
        const auto time = HistoryTime(record.time);
        if (!time) m.timeText.clear();
        m.time = time.value_or(now);
        m.text = record.text;
        m.store = store;
        m.simIndex = record.index;
        m.unread = record.status == kStatusUnread;
        if (reports) m.delivery = DeliveryOf(*reports, number);
        m.key = MessageKey(m.direction, m.number, m.timeText, m.text,
                           note ? note->concat.reference : 0, note ? note->concat.total : 0);
        out.push_back(std::move(m));
    }
    return out;
}

std::vector<HistoryMessage> HistoryMessagesOfFolderFiles(const std::filesystem::path& dataFolder,
                                                         int64_t now) {
    std::vector<HistoryMessage> out;
    for (FolderId folder : {FolderId::Inbox, FolderId::Sent, FolderId::Saved}) {
        // Read as it is: a damaged file gives what can be read, and nothing here writes it.
        auto bytes = ReadWholeFile(dataFolder / FolderFileName(folder));
        if (!bytes) continue;
        auto table = std::make_unique<FolderTable>();
        static_cast<void>(DecodeFolder(*bytes, *table));
        for (const FolderEntry& entry : table->entries) {
            if (entry.slot < 0) continue;
            for (HistoryMessage& m : HistoryMessagesOf(folder, entry.record, now))
                out.push_back(std::move(m));
        }
    }
    return out;
}

HistoryFeed::HistoryFeed(ControllerHost& host, std::filesystem::path dataFolder)
    : host_(host), dataFolder_(std::move(dataFolder)), file_(dataFolder_ / kHistoryFileName) {
    writer_ = std::make_unique<HistoryWriter>(file_,
                                              [this](const HistoryEvent& event) { Report(event); });
    // The first task: a history made just now starts with what the folders hold.
    writer_->Post([folder = dataFolder_](HistoryDb& db) {
        if (db.Created()) db.Store(HistoryMessagesOfFolderFiles(folder, Now()));
    });
}

HistoryFeed::~HistoryFeed() = default;

void HistoryFeed::Report(const HistoryEvent& event) {
    // On the writer's thread: the user is told on the window's.
    host_.PostTask([this, event] {
        std::u16string text;
        switch (event.kind) {
            case HistoryEvent::Kind::kOpened:
                return;
            case HistoryEvent::Kind::kKeptAside:
                text = FormatUiString(ui_text::kHistoryKeptAside, {Utf8ToU16(event.path.string())});
                break;
            case HistoryEvent::Kind::kFailed:
                if (event.reason == lastTold_) return;
                lastTold_ = event.reason;
                text = LoadUiString(ui_text::kHistoryWriteFailed) + u": " + Utf8ToU16(event.reason);
                break;
        }
        host_.ShowStatus(text);
        host_.Window().ShowMessageText(text);
    });
}

void HistoryFeed::Queue(FolderId folder, const std::vector<SmsRecord>& records) {
    const int64_t now = Now();
    std::vector<HistoryMessage> messages;
    for (const SmsRecord& record : records) {
        for (HistoryMessage& m : HistoryMessagesOf(folder, record, now)) {
            if (names_) m.name = names_(m.number);
            messages.push_back(std::move(m));
        }
    }
    writer_->Store(std::move(messages));
}

void HistoryFeed::FolderSaved(FolderId folder, const FolderTable& table) {
    if (StoreName(folder) == nullptr) return;
    std::vector<SmsRecord> records;
    records.reserve(static_cast<size_t>(table.usedCount));
    for (const FolderEntry& entry : table.entries)
        if (entry.slot >= 0) records.push_back(entry.record);
    Queue(folder, records);
}

void HistoryFeed::Listed(const std::vector<SmsRecord>& messages) {
    Queue(FolderId::Inbox, messages);
}

}  // namespace telvane
