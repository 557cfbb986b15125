// "+STGI:" lines, the modem's answer to "AT+STGI=type", parsed into a menu item slot or into the
// engine's per-type toolkit fields.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace telvane {

// One line of a menu (type 0) or selection list (type 6).
struct ToolkitItem {
    int32_t id = 0;        // first number of the line
    int32_t count = 0;     // number after the first comma: the number of items
    std::u16string label;  // first quoted text
    int32_t help = 0;      // number after the comma behind the label (type 0 only)
};

// The per-type fields the engine keeps; a field keeps its value until a line of its type sets it.
struct ToolkitFields {
    // type 1: first number, first quoted text, number after the second comma (-1 without one)
    int32_t display = 0;
    std::u16string displayText;
    int32_t displayThird = -1;
    // type 3: up to five leading numbers, then the first quoted text after them
    int32_t input[5] = {0, 0, 0, 0, 0};
    std::u16string inputText;
    // type 4: first number and quoted text; then the quoted text and number after the second comma
    int32_t call = 0;
    std::u16string callText;
    std::u16string callSecondText;
    int32_t callSecond = 0;
    // types 7, 8, 9
    int32_t type7 = 0;
    std::u16string type8Text;
    std::u16string type9Text;
};

// Parses `line` for command `type`: types 0 and 6 into `item` (which may be null when the slots
// are used up), types 1, 3, 4, 7, 8, 9 into `fields`; 2, 5 and any other type store nothing.
// Returns `type`.
int32_t ParseToolkitInfo(int32_t type, std::u16string_view line, ToolkitItem* item,
                         ToolkitFields& fields);
int32_t ParseToolkitInfo(int32_t type, std::string_view line, ToolkitItem* item,
                         ToolkitFields& fields);

}  // namespace telvane
