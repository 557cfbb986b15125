#include "history/history_export.h"

#include <string_view>

#include "history/history_keys.h"
#include "platform/text.h"

namespace telvane {
namespace {

std::string CsvField(std::string utf8) {
    // Numbers ("+886...") stay as they are; anything else starting like a formula is quoted.
    const bool formula = !utf8.empty() &&
                         std::string_view("=+-@").find(utf8[0]) != std::string_view::npos &&
                         utf8.find_first_not_of("+0123456789 ") != std::string::npos;
    if (formula) utf8.insert(0, "'");
    if (utf8.find_first_of(",\"\r\n") == std::string::npos) return utf8;
    std::string quoted = "\"";
    for (char c : utf8) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace

std::string IsoTime(const HistoryMessage& message) {
    if (!HistoryTime(message.timeText)) return {};
    const std::string t = Narrow(message.timeText);
    // yy/MM/dd,hh:mm:ss
    return "20" + t.substr(0, 2) + "-" + t.substr(3, 2) + "-" + t.substr(6, 2) + "T" +
           t.substr(9, 8);
}

std::string HistoryCsv(const std::vector<HistoryMessage>& messages) {
    std::string csv = "\xEF\xBB\xBFNumber,Name,Direction,Time,Message\r\n";
    for (const HistoryMessage& m : messages) {
        csv += CsvField(U16ToUtf8(m.number)) + ',' + CsvField(U16ToUtf8(m.name)) + ',' +
               (m.direction == HistoryDirection::kIn ? "in" : "out") + ',' + IsoTime(m) + ',' +
               CsvField(U16ToUtf8(m.text)) + "\r\n";
    }
    return csv;
}

}  // namespace telvane
