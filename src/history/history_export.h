// The history as others read it: CSV for a spreadsheet, and the time as ISO 8601.
#pragma once

#include <string>
#include <vector>

#include "history/history_message.h"

namespace telvane {

// UTF-8 with a byte-order mark, CR LF lines: Number,Name,Direction,Time,Message.  A field that a
// spreadsheet would take for a formula is kept as text.
std::string HistoryCsv(const std::vector<HistoryMessage>& messages);

// "2026-12-11T06:07:08" from the message's own time text; empty when it had none.
std::string IsoTime(const HistoryMessage& message);

}  // namespace telvane
