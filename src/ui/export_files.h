// What the window exports: a folder as CSV for a spreadsheet, phonebook entries as one vCard
// file for an address book.
#pragma once

#include <string>
#include <vector>

namespace telvane {

struct ExportMessage {
    std::u16string number;
    std::u16string name;  // empty when the phonebook does not know the number
    std::u16string time;  // as the list shows it
    std::u16string text;  // line breaks as CR LF
};

struct ExportContact {
    std::u16string name;
    std::u16string number;
};

// UTF-8 with a byte-order mark (so that spreadsheets read Chinese right), CRLF lines, fields
// quoted where they hold a comma, a quote or a line break; a header line first.
std::string FolderCsv(const std::vector<ExportMessage>& messages);

// vCard 3.0, one card per entry; an entry with neither a name nor a number is skipped.
std::string VCards(const std::vector<ExportContact>& contacts);

}  // namespace telvane
