#include "modem/command_text.h"

#include "platform/text.h"

namespace telvane {
namespace {

bool BreaksCommand(char16_t c) {
    return c < 0x20 || c == 0x7F || c == u'"';
}

}  // namespace

bool IsDialableNumber(std::u16string_view number) {
    return number.find_first_not_of(u"0123456789*#+") == std::u16string_view::npos;
}

std::string CommandSafeName(std::u16string_view name) {
    std::u16string kept;
    kept.reserve(name.size());
    for (char16_t c : name)
        if (!BreaksCommand(c)) kept.push_back(c);
    return Narrow(kept);
}

std::optional<std::string> CommandSafeNumber(std::u16string_view number) {
    for (char16_t c : number)
        if (BreaksCommand(c)) return std::nullopt;
    return Narrow(number);
}

std::optional<std::string> PhonebookWriteCommand(int position, std::u16string_view number,
                                                 std::u16string_view name) {
    const std::optional<std::string> safeNumber = CommandSafeNumber(number);
    if (!safeNumber) return std::nullopt;
    const int type = !number.empty() && number[0] == u'+' ? 145 : 129;
    return "AT+CPBW=" + std::to_string(position) + ",\"" + *safeNumber + "\"," +
           std::to_string(type) + ",\"" + CommandSafeName(name) + "\"";
}

}  // namespace telvane
