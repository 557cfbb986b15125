#include "codec/csv_field.h"

#include "platform/text.h"

namespace telvane {

std::string CsvField(std::u16string_view text) {
    const std::string utf8 = U16ToUtf8(text);
    const bool formula = !utf8.empty() &&
                         std::string_view("=+-@").find(utf8[0]) != std::string_view::npos &&
                         utf8.find_first_not_of("+0123456789 ") != std::string::npos;
    std::string field;
    if (formula) field += '\'';
    field += utf8;
    if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
    std::string quoted = "\"";
    for (char c : field) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

}  // namespace telvane
