// Pure parsers of the answers the information and USSD jobs read, in the manner of
// answer_parsers.h: text in, data out, nothing read past the end; a field the answer does not
// give comes back empty rather than guessed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "modem/modem_info.h"

namespace telvane {

// The fields of "+XXX: a,\"b\",(c,d)" after the colon: quotes taken off a quoted field, a
// bracketed group kept whole with its brackets, blanks around the rest trimmed.
std::vector<std::string> AnswerFields(std::string_view line);
// Blanks, tabs and line ends taken off both ends.
std::string_view TrimBlanks(std::string_view text);
// A whole decimal field (blanks around it allowed); nothing for anything else.
std::optional<int32_t> FieldNumber(std::string_view field);

// The first line of an answer (its elements split at line ends) that starts with `prefix`.
std::optional<std::string_view> AnswerLine(const std::vector<std::string>& lines,
                                           std::string_view prefix);

// AT+CGMI, +CGMM, +CGMR, +CGSN: the first line of the answer that is not the echo of `command`,
// without a "+CGMI: " style prefix or quotes; nothing for an empty answer or one with a control
// character.
std::optional<std::string> ParseIdentityAnswer(const std::vector<std::string>& lines,
                                               std::string_view command);
// ATI: "Manufacturer: X", "Model: Y", "Revision: Z", "IMEI: N" lines where the modem labels
// them; else its first line is the manufacturer and its second the model.  Fills only what
// `info` does not have yet.
void ParseIdentificationAnswer(const std::vector<std::string>& lines, ModemInfo& info);
// AT+CIMI: 6 to 15 digits.
std::optional<std::string> ParseImsiAnswer(const std::vector<std::string>& lines);

struct OperatorRead {
    std::optional<std::string> name;
    std::optional<int32_t> technology;
};
// "+COPS: 0,0,\"LDTA\",2" -> {"LDTA", 2}; "+COPS: 0" -> nothing.
OperatorRead ParseOperatorReadAnswer(std::string_view line);
// "+CREG: 1,5[,...]" (the read form: the second number is the state).
Registration ParseRegistrationReadAnswer(std::string_view line);
// "+CSQ: 20,99" -> 20; nothing for 99 or a value out of range.
std::optional<int32_t> ParseRssiAnswer(std::string_view line);

// AT+CPMS=?: the stores offered for reading and deleting (its first group), in the modem's
// order; names that could break a command line are left out.
std::vector<std::string> ParseStoreOffer(std::string_view line);
// AT+CPMS?: "+CPMS: \"SM\",3,30,\"ME\",1,100,..." -> every store named, once, with its fill.
std::vector<StoreUse> ParseStoreReadAnswer(std::string_view line);
// The answer to choosing a store, "+CPMS: 3,30,...": the chosen store's used and total.
std::optional<StoreUse> ParseStoreChoiceAnswer(std::string_view line);

// "+CUSD: <m>[,<str>[,<dcs>]]" with the text decoded; nothing when the line is not one.
std::optional<UssdAnswer> ParseUssdLine(std::string_view line);

}  // namespace telvane
