// Pure helpers of the live link: the answers that decide how the modem announces new messages,
// what the SIM says of its PIN tries, how full the message store is, and the SMS centre.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telvane {

// The values of each parameter in a test answer, "+CNMI: (0-2),(0-3),(0,2),(0-2),(0,1)" ->
// {{0,1,2},{0,1,2,3},{0,2},{0,1,2},{0,1}}.  A parameter given as a bare number is a list of one.
std::vector<std::vector<int32_t>> ParseParameterOffer(std::string_view answer);

// "AT+CNMI=..." that announces each stored message with "+CMTI:" (mt 1), as soon as possible
// (mode 2, else 1), with nothing else routed; nullopt when the offer has no such setting.
std::optional<std::string> ChooseIndications(const std::vector<std::vector<int32_t>>& offer);

struct SimAttempts {
    int32_t pin = -1;  // -1: not told
    int32_t puk = -1;
};
// "+CPINR: SIM PIN,3,3" / "+CPINR: \"SIM PUK\",10,10" lines (3GPP TS 27.007 8.65), or the
// vendor form "+CPINC: 3,3,10,10" (PIN1, PIN2, PUK1, PUK2).
SimAttempts ParseSimAttempts(const std::vector<std::string>& lines);

struct StoreFill {
    int32_t used = -1;
    int32_t capacity = -1;
};
// "+CPMS: \"SM\",3,30,..." (the read answer): the first store's use and size.
StoreFill ParseStoreFill(std::string_view answer);

// "+CSCA: \"+886932400821\",145" (the read answer) -> the centre as a normalised number; type 145
// puts a '+' in front when the modem left it out.  A modem left in the UCS2 set prints the number
// as hex, four digits a character ("002B0038..."), and is read so.  Nothing when the centre is
// empty or is no number.
std::optional<std::u16string> ParseServiceCentreAnswer(std::string_view answer);

}  // namespace telvane
