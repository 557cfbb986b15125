#include "ui/export_files.h"

#include "codec/csv_field.h"
#include "contacts/vcard.h"
#include "platform/text.h"

namespace telvane {

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
