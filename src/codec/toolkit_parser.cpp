#include "codec/toolkit_parser.h"

#include "codec/response_parsers.h"
#include "platform/text.h"

namespace telvane {

namespace {

// The text from the n-th comma (1-based) on, comma included; "" when there are fewer.
std::u16string FromComma(const std::u16string& line, int n) {
    size_t at = std::u16string::npos;
    for (int i = 0; i < n; ++i) {
        at = line.find(u',', at == std::u16string::npos ? 0 : at + 1);
        if (at == std::u16string::npos) return {};
    }
    return line.substr(at);
}

void ParseItem(const std::u16string& line, ToolkitItem& item, bool withHelp) {
    item.id = ValueAfterColon(line);
    size_t comma = line.find(u',');
    if (comma == std::u16string::npos) return;
    std::u16string rest = line.substr(comma);
    item.count = ValueAfterComma(rest);
    item.label = ExtractQuoted(rest);
    if (!withHelp) return;
    size_t quoteComma = rest.find(u"\",");
    if (quoteComma != std::u16string::npos)
        item.help = ValueAfterComma(rest.substr(quoteComma + 1));
}

}  // namespace

int32_t ParseToolkitInfo(int32_t type, std::u16string_view text, ToolkitItem* item,
                         ToolkitFields& fields) {
    const std::u16string line(text);
    switch (type) {
        case 0:
        case 6:
            if (item != nullptr) ParseItem(line, *item, type == 0);
            break;
        case 1: {
            fields.display = ValueAfterColon(line);
            fields.displayText = ExtractQuoted(line);
            fields.displayThird = -1;
            std::u16string rest = FromComma(line, 2);
            if (!rest.empty()) fields.displayThird = ValueAfterComma(rest);
            break;
        }
        case 3: {
            fields.input[0] = ValueAfterColon(line);
            fields.input[1] = ValueAfterComma(line);
            std::u16string rest = line;
            // Up to three more numbers; the first one missing ends the line's fields.
            for (int k = 2; k < 5; ++k) {
                if (!DropThroughComma(rest) || rest.find(u',') == std::u16string::npos) return type;
                fields.input[k] = ValueAfterComma(rest);
            }
            fields.inputText = ExtractQuoted(rest);
            break;
        }
        case 4: {
            fields.call = ValueAfterColon(line);
            fields.callText = ExtractQuoted(line);
            std::u16string rest = FromComma(line, 2);
            if (rest.empty()) break;
            rest.erase(0, 1);
            fields.callSecondText = ExtractQuoted(rest);
            fields.callSecond = ValueAfterComma(rest);
            break;
        }
        case 7:
            fields.type7 = ValueAfterColon(line);
            break;
        case 8:
            fields.type8Text = ExtractQuoted(line);
            break;
        case 9:
            fields.type9Text = ExtractQuoted(line);
            break;
        default:
            break;
    }
    return type;
}

int32_t ParseToolkitInfo(int32_t type, std::string_view line, ToolkitItem* item,
                         ToolkitFields& fields) {
    return ParseToolkitInfo(type, std::u16string_view(Widen(line)), item, fields);
}

}  // namespace telvane
