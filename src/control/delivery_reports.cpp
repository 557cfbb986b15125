#include "control/delivery_reports.h"

#include <vector>

#include "codec/pdu_codec.h"
#include "control/ui_strings.h"

namespace telvane {

namespace {

std::u16string Digits(std::u16string_view number) {
    std::u16string digits;
    for (char16_t c : number)
        if (c >= u'0' && c <= u'9') digits.push_back(c);
    return digits;
}

// Subscriber numbers have at least this many digits; fewer are compared whole.
constexpr size_t kTail = 8;

std::optional<DeliveryState> FinalState(int32_t status) {
    switch (DeliveryStatusOf(status)) {
        case DeliveryStatus::kDelivered:
            return DeliveryState::kDelivered;
        case DeliveryStatus::kFailed:
            return DeliveryState::kFailed;
        case DeliveryStatus::kPending:
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

bool SameRecipient(std::u16string_view sent, std::u16string_view reported) {
    const std::u16string a = Digits(sent);
    const std::u16string b = Digits(reported);
    if (a.empty() || b.empty()) return false;
    if (a == b) return true;
    if (a.size() < kTail || b.size() < kTail) return false;
    return a.substr(a.size() - kTail) == b.substr(b.size() - kTail);
}

std::optional<ReportMatch> ApplyStatusReport(FolderTable& sent, const StatusReport& report) {
    const std::optional<DeliveryState> state = FinalState(report.status);
    if (!state) return std::nullopt;
    int32_t best = -1;
    size_t bestEntry = 0;
    std::vector<DeliveryEntry> bestEntries;
    for (const FolderEntry& entry : sent.entries) {
        if (entry.slot < 0) continue;
        std::optional<std::vector<DeliveryEntry>> entries =
            ParseDeliveryEntries(entry.record.extra);
        if (!entries) continue;
        for (size_t i = 0; i < entries->size(); ++i) {
            const DeliveryEntry& e = (*entries)[i];
            if (e.state != DeliveryState::kPending || e.reference != report.reference ||
                !SameRecipient(e.number, report.recipient))
                continue;
            // The newest: time stamps "yy/MM/dd,hh:mm:ss" order as text; a later slot wins a tie.
            if (best < 0 ||
                entry.record.time >= sent.entries[static_cast<size_t>(best)].record.time) {
                best = entry.slot;
                bestEntry = i;
                bestEntries = *entries;
            }
            break;
        }
    }
    if (best < 0) return std::nullopt;
    bestEntries[bestEntry].state = *state;
    sent.entries[static_cast<size_t>(best)].record.extra = FormatDeliveryEntries(bestEntries);
    return ReportMatch{best, bestEntries[bestEntry].number, *state};
}

std::u16string DeliverySummary(const SmsRecord& record) {
    const std::optional<std::vector<DeliveryEntry>> entries = ParseDeliveryEntries(record.extra);
    if (!entries || entries->empty()) return {};
    // Per recipient, in the order they were sent to.
    std::vector<std::pair<std::u16string, DeliveryState>> recipients;
    for (const DeliveryEntry& entry : *entries) {
        auto it = recipients.begin();
        while (it != recipients.end() && it->first != entry.number)
            ++it;
        if (it == recipients.end()) {
            recipients.emplace_back(entry.number, entry.state);
            continue;
        }
        // One part failed: the message failed; one still pending: it is pending.
        if (entry.state == DeliveryState::kFailed || it->second == DeliveryState::kFailed)
            it->second = DeliveryState::kFailed;
        else if (entry.state == DeliveryState::kPending)
            it->second = DeliveryState::kPending;
    }
    std::u16string summary;
    for (const auto& [number, state] : recipients) {
        if (!summary.empty()) summary += u"; ";
        const UiText text = state == DeliveryState::kDelivered ? ui_text::kDelivered
                            : state == DeliveryState::kFailed  ? ui_text::kNotDelivered
                                                               : ui_text::kDeliveryPending;
        summary += number + u": " + LoadUiString(text);
    }
    return summary;
}

}  // namespace telvane
