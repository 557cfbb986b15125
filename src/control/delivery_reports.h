// Status reports matched to the Sent messages they report on.
//
// A Sent record that asked for reports keeps one entry per submitted part in its `extra`
// (delivery_state.h): the recipient, the message reference the modem gave the part, its state.
// A report names the reference and the recipient; references wrap at 256, so the newest record
// with a pending entry of both takes it.
//
//   if (const auto match = ApplyStatusReport(sentTable, report)) save the table;
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "codec/sms_record.h"
#include "control/delivery_state.h"
#include "store/folder_table.h"

namespace telvane {

// The same recipient: the same digits, or, where one has a country code the other lacks, the
// same last eight.
bool SameRecipient(std::u16string_view sent, std::u16string_view reported);

struct ReportMatch {
    int32_t position = -1;  // of the Sent record changed
    std::u16string number;  // its entry's recipient
    DeliveryState state = DeliveryState::kPending;
};

// Sets the matching entry to delivered or failed.  nullopt when nothing changed: no pending
// entry matches, or the report only says the centre is still trying.
std::optional<ReportMatch> ApplyStatusReport(FolderTable& sent, const StatusReport& report);

// What the reading pane says of a Sent record: empty when it asked for no report; else each
// recipient's state (every part delivered, any failed, or still pending), e.g.
// "+886912345678: Delivered".
std::u16string DeliverySummary(const SmsRecord& record);

}  // namespace telvane
