#include "ui/export_files.h"

#include "contacts/vcard.h"
#include "platform/text.h"

namespace telvane {

namespace {

std::string CsvField(const std::u16string& text) {
    std::string utf8 = U16ToUtf8(text);
    // A leading '=', '+', '-' or '@' would be read as a formula; a quote mark keeps it text.
    const bool formula = !utf8.empty() &&
                         std::string_view("=+-@").find(utf8[0]) != std::string::npos &&
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

std::string FolderCsv(const std::vector<ExportMessage>& messages) {
    std::string csv = "\xEF\xBB\xBFNumber,Name,Time,Message\r\n";
    for (const ExportMessage& m : messages) {
        csv += CsvField(m.number) + ',' + CsvField(m.name) + ',' + CsvField(m.time) + ',' +
               CsvField(m.text) + "\r\n";
    }
    return csv;
}

std::string VCards(const std::vector<ExportContact>& contacts) {
    std::string out;
    for (const ExportContact& c : contacts) {
        if (c.name.empty() && c.number.empty()) continue;
        // A card needs a formatted name: an entry with a number only is named by it.
        out += c.name.empty() ? VCard::Create({}, {}, {}, c.number, c.number).Serialize()
                              : VCard::FromName({}, c.name, c.number).Serialize();
    }
    return out;
}

}  // namespace telvane
