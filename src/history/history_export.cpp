#include "history/history_export.h"

#include "codec/csv_field.h"
#include "history/history_keys.h"
#include "platform/text.h"

namespace telvane {

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
        csv += CsvField(m.number) + ',' + CsvField(m.name) + ',' +
               (m.direction == HistoryDirection::kIn ? "in" : "out") + ',' + IsoTime(m) + ',' +
               CsvField(m.text) + "\r\n";
    }
    return csv;
}

}  // namespace telvane
