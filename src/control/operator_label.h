// The status line's operator label.
#pragma once

#include <cstdint>
#include <string>

namespace telvane {

// What the engine keeps as the operator text when registration is lost or refused.
extern const std::u16string kNoNetworkText;
// The label of an operator code the table does not know.
extern const std::u16string kUnknownOperatorLabel;

// The name of an operator code (country and network code as one number, 45406): the Chinese
// name when `chinese` and there is one, else the English name; empty when the code is unknown.
std::u16string OperatorName(int32_t code, bool chinese);

// The label for the engine's operator text in the current interface language: "Offline" when
// not online, "No network" for the engine's no-network text, the table's name for a numeric
// code ("Nubo Ltd." when unknown, or when the text is empty), and a name the modem gave as it
// stands.
std::u16string OperatorLabel(const std::u16string& operatorText, bool online);

}  // namespace telvane
