#include "control/delivery_state.h"

namespace telvane {

namespace {

constexpr char16_t kEntrySeparator = u';';
constexpr char16_t kFieldSeparator = u'|';

std::optional<int> ParseReference(std::u16string_view digits) {
    // At most three digits: TP-MR is one octet (3GPP TS 23.040 9.2.3.6).
    if (digits.empty() || digits.size() > 3) return std::nullopt;
    int value = 0;
    for (const char16_t c : digits) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c - u'0');
    }
    if (value > 255) return std::nullopt;
    return value;
}

std::optional<DeliveryEntry> ParseEntry(std::u16string_view text) {
    const size_t first = text.find(kFieldSeparator);
    if (first == std::u16string_view::npos || first == 0) return std::nullopt;
    const size_t second = text.find(kFieldSeparator, first + 1);
    if (second == std::u16string_view::npos) return std::nullopt;
    const std::optional<int> reference = ParseReference(text.substr(first + 1, second - first - 1));
    const std::optional<DeliveryState> state = ParseDeliveryState(text.substr(second + 1));
    if (!reference || !state) return std::nullopt;
    return DeliveryEntry{std::u16string(text.substr(0, first)), *reference, *state};
}

}  // namespace

std::u16string_view DeliveryStateName(DeliveryState state) {
    switch (state) {
        case DeliveryState::kPending:
            return u"pending";
        case DeliveryState::kDelivered:
            return u"delivered";
        case DeliveryState::kFailed:
            return u"failed";
    }
    return u"pending";
}

std::optional<DeliveryState> ParseDeliveryState(std::u16string_view name) {
    for (const DeliveryState state :
         {DeliveryState::kPending, DeliveryState::kDelivered, DeliveryState::kFailed}) {
        if (name == DeliveryStateName(state)) return state;
    }
    return std::nullopt;
}

std::optional<std::vector<DeliveryEntry>> ParseDeliveryEntries(std::u16string_view extra) {
    std::vector<DeliveryEntry> entries;
    while (!extra.empty()) {
        const size_t end = extra.find(kEntrySeparator);
        const std::optional<DeliveryEntry> entry = ParseEntry(extra.substr(0, end));
        if (!entry) return std::nullopt;
        entries.push_back(*entry);
        if (end == std::u16string_view::npos) break;
        extra.remove_prefix(end + 1);
        // "a;" has an empty last entry: damaged, not a list of one.
        if (extra.empty()) return std::nullopt;
    }
    return entries;
}

std::u16string FormatDeliveryEntries(const std::vector<DeliveryEntry>& entries) {
    std::u16string extra;
    for (const DeliveryEntry& entry : entries)
        AppendDeliveryEntry(extra, entry);
    return extra;
}

void AppendDeliveryEntry(std::u16string& extra, const DeliveryEntry& entry) {
    if (!extra.empty()) extra += kEntrySeparator;
    extra += entry.number;
    extra += kFieldSeparator;
    for (const char c : std::to_string(entry.reference))
        extra += static_cast<char16_t>(c);
    extra += kFieldSeparator;
    extra += DeliveryStateName(entry.state);
}

}  // namespace telvane
