// Text conversions and number reading shared by every layer.
//
// A text is a std::u16string of UTF-16 code units (as the archive files and UCS2 hold them);
// AT command lines are ASCII std::string.  Conversions to UTF-8 live here and nowhere else.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace telvane {

// UTF-8 -> UTF-16.  Malformed sequences become U+FFFD; nothing is dropped silently.
std::u16string Utf8ToU16(std::string_view utf8);

// UTF-16 -> UTF-8.  Unpaired surrogates become U+FFFD.
std::string U16ToUtf8(std::u16string_view text);

// One byte per code unit, as received modem bytes are widened.
std::u16string Widen(std::string_view ascii);

// Code units above 0x7F become '?'; for AT command lines, which are ASCII.
std::string Narrow(std::u16string_view text);

// The runtime's decimal conversion: skips leading blanks, takes one sign, reads digits up to the
// first non-digit, gives 0 when there is no digit.  Saturates instead of overflowing.
int32_t ReadNumber(std::u16string_view text);
int32_t ReadNumber(std::string_view text);

}  // namespace telvane
