// Command lines built from data.  Nothing taken from a message, a phonebook entry or the user may
// end a command line early or start another: no CR, LF, Ctrl-Z, Esc or double quote reaches the
// modem from data.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace telvane {

// A destination for sending or writing: only "0123456789*#+".
bool IsDialableNumber(std::u16string_view number);

// A phonebook name for a quoted command field: control characters and double quotes dropped,
// characters outside ASCII as '?'.
std::string CommandSafeName(std::u16string_view name);

// A phonebook number for a quoted command field; nullopt (the command is refused) when it holds a
// control character or a double quote.
std::optional<std::string> CommandSafeNumber(std::u16string_view number);

// "AT+CPBW=position,\"number\",type,\"name\"": type 145 for a number starting with '+', else 129.
// nullopt when the number is refused.
std::optional<std::string> PhonebookWriteCommand(int position, std::u16string_view number,
                                                 std::u16string_view name);

}  // namespace telvane
