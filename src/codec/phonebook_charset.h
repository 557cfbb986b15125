// Phonebook names in the character set the modem is switched to with AT+CSCS (3GPP TS 27.007
// 5.5).  Pure functions: the engine picks the set from the modem's offer, encodes the name of a
// write and decodes the names of a read.
//
//   PhonebookCharset set = ChoosePhonebookCharset(ParseCharsetOffer("+CSCS: (\"IRA\",\"UCS2\")"));
//   NameField f = EncodePhonebookName(u"媽媽", set, 6);   // f.field == "5ABD5ABD"
//   DecodePhonebookName("80004D006F006D", set);          // u"Mom" (the SIM's 80 form)
//
// A name the set cannot carry is refused with a reason, never sent with '?' in its place: the SIM
// would keep the damaged name and the next read would overwrite the user's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace telvane {

enum class PhonebookCharset {
    kIra,   // ASCII; what a modem uses before it is told otherwise
    kGsm,   // the GSM default alphabet, one byte per septet
    kUcs2,  // every character as four hex digits
};

// "IRA", "GSM" or "UCS2", as AT+CSCS= takes it.
std::string_view CharsetName(PhonebookCharset set);

// The sets named in the answer to AT+CSCS=? ("+CSCS: (\"IRA\",\"GSM\",\"UCS2\")"), in the
// answer's order; names this program does not use are skipped.
std::vector<PhonebookCharset> ParseCharsetOffer(std::string_view answer);

// UCS2 when offered (every name fits), else IRA, else GSM; IRA when the modem offers none of
// them (it did not answer the query: its default is kept and only ASCII names are written).
PhonebookCharset ChoosePhonebookCharset(const std::vector<PhonebookCharset>& offered);

// How long `name` is in the units the modem counts its text limit in for `set`: septets for GSM
// (an extension character takes two), characters for IRA, UTF-16 code units for UCS2.
int32_t PhonebookNameLength(std::u16string_view name, PhonebookCharset set);

struct NameField {
    std::string field;      // the text between the quotes of AT+CPBW; empty when refused
    std::u16string reason;  // one English sentence when refused, else empty

    bool ok() const { return reason.empty(); }
};

// The name as the quoted field of a write in `set`.  Refused when a character has no place in
// the set or cannot travel inside a quoted command field (a double quote, a control character),
// or when the name is longer than `textLimit` (the limit the modem gives in that set; 0 or less:
// not known, not checked).
NameField EncodePhonebookName(std::u16string_view name, PhonebookCharset set, int32_t textLimit);

// A name read in `set`.  UCS2 names may also come in the SIM's own record forms (3GPP TS 11.11
// annex B): 80 followed by UCS2, or 81 / 82 with a base and one octet per character; trailing FF
// padding is dropped.  Nothing when the field is not valid in the set (a UCS2 field that is not
// hex, a GSM byte above 7F); an IRA byte above 7F reads as Latin-1, as modems send it.
std::optional<std::u16string> DecodePhonebookName(std::string_view field, PhonebookCharset set);
// The same for a field the engine received and widened, one code unit per byte.
std::optional<std::u16string> DecodePhonebookName(std::u16string_view field, PhonebookCharset set);

}  // namespace telvane
