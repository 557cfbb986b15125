// One field of a CSV line as spreadsheets read it (RFC 4180 quoting).
#pragma once

#include <string>
#include <string_view>

namespace telvane {

// `text` as UTF-8, quoted when it holds a comma, a quote or a line break.  A leading '=', '+',
// '-' or '@' would be read as a formula: a quote mark keeps it text, but a phone number
// ("+886 912...") stays as it is.
//
//   CsvField(u"Hi, \"you\"")  ->  "\"Hi, \"\"you\"\"\""
//   CsvField(u"=1+1")         ->  "'=1+1"
std::string CsvField(std::u16string_view text);

}  // namespace telvane
