// Names and numbers read from a file a user imports: vCards as address books export them, or CSV
// lines "number,name" as spreadsheets write them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace telvane {

struct ImportedEntry {
    std::u16string name;
    std::u16string number;  // empty when the card or line has none
};

// Every card of a vCard file (its FN, else N's parts; its number), or, for any other text, every
// CSV line: number in the first field, name in the second.  A line whose first field holds no
// digit and is not empty (a header "Number,Name") is left out; a byte-order mark is ignored.
std::vector<ImportedEntry> ReadContactsFile(std::string_view bytes);

}  // namespace telvane
