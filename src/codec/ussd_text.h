// USSD strings (3GPP TS 22.090, 27.007 7.15): what may go into a code or a reply, and the text
// of the network's answer in whichever form the modem passes it on.
//
//   if (!IsUssdCode(u"*100#")) refuse();                       // before the modem is touched
//   std::u16string text = DecodeUssdText("C8329BFD06", 15);    // packed 7-bit: "Hello"
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace telvane {

// The longest USSD string: 160 octets of packed septets (3GPP TS 23.038 6.1.2.3).
inline constexpr size_t kMaxUssdLength = 182;

// Digits, '*', '#' and '+', at least one character: a code a network can dial.
bool IsUssdCode(std::u16string_view code);
// Digits and the letters A-Z (which every character set a modem uses shares with the GSM
// alphabet), and '*', '#', '+' for the menus that go back with them: nothing that could break
// the command line it goes into.
bool IsUssdReply(std::u16string_view reply);

// How a USSD string is coded (the Cell Broadcast data coding scheme, 23.038 5).
enum class UssdAlphabet { kGsm7, kEightBit, kUcs2 };
UssdAlphabet UssdAlphabetOf(int32_t dcs);

// The answer's text from the <str> of "+CUSD: <m>,<str>,<dcs>".  Modems pass it on as text in
// their character set, as GSM 7-bit packed hex, or as UCS2 hex; a string that is not the hex of
// what `dcs` says is taken as text.  `dcs` -1: not given.
std::u16string DecodeUssdText(std::string_view field, int32_t dcs);

}  // namespace telvane
