// The GSM 7-bit default alphabet and its extension table (3GPP TS 23.038 6.2.1), both ways.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace telvane {

inline constexpr uint8_t kGsmEscape = 0x1B;

// The character of a basic-table septet (0..127).  The escape itself reads as a space, which is
// what a receiver shows for an escape that introduces nothing.
char16_t GsmBasicChar(uint8_t septet);

// The character that escape + `septet` stands for, or 0 when the extension table has none.
char16_t GsmExtensionChar(uint8_t septet);

// Septets for one code unit: returns 1 (basic, in septets[0]), 2 (escape + septets[1]) or 0 when
// the alphabet has no place for it.
int GsmEncodeChar(char16_t c, uint8_t septets[2]);

// Appends the text of `count` unpacked septets, resolving escapes.  An escape followed by a code
// the extension table lacks shows the basic character; escape-escape shows a space.
void GsmSeptetsToText(const uint8_t* septets, size_t count, std::u16string& out);

}  // namespace telvane
