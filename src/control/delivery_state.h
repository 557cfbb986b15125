// The delivery states a Sent record keeps in its `extra`: one entry per submitted part,
// separated by ';', each "NUMBER|MR|STATE" (MR the message reference the modem gave the part,
// 0-255).  An empty `extra` means no report was asked for.
//
//   extra = FormatDeliveryEntries({{u"+886912345678", 17, DeliveryState::kPending}});
//   // u"+886912345678|17|pending"
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telvane {

enum class DeliveryState { kPending, kDelivered, kFailed };

struct DeliveryEntry {
    std::u16string number;  // the recipient as sent
    int reference = 0;      // TP-MR, 0-255
    DeliveryState state = DeliveryState::kPending;

    bool operator==(const DeliveryEntry&) const = default;
};

// "pending", "delivered" or "failed".
std::u16string_view DeliveryStateName(DeliveryState state);
std::optional<DeliveryState> ParseDeliveryState(std::u16string_view name);

// The entries of `extra`, in order.  Anything else (an older record's spare text, a damaged
// entry) gives nullopt, so that a caller leaves such a field as it is rather than rewrite it.
// An empty `extra` gives an empty list.
std::optional<std::vector<DeliveryEntry>> ParseDeliveryEntries(std::u16string_view extra);

// The field for `entries`; the numbers are normalised, so never hold '|' or ';'.
std::u16string FormatDeliveryEntries(const std::vector<DeliveryEntry>& entries);

// Appends one entry to a field that holds entries (or nothing).
void AppendDeliveryEntry(std::u16string& extra, const DeliveryEntry& entry);

}  // namespace telvane
