// The one check every number passes before it reaches the modem: recipients typed or picked,
// the SMS centre from the settings, numbers read from files.
//
//   PhoneNumber n = NormalisePhoneNumber(u"+886 932-400821");
//   // n.ok(), n.number == u"+886932400821"
//   PhoneNumber bad = NormalisePhoneNumber(u"12\x1B" u"AT");
//   // !bad.ok(), bad.error == NumberError::kBadCharacter, bad.Reason() names the character
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace telvane {

// 3GPP TS 23.040 9.1.2.5: the address value holds at most 10 octets of semi-octets.
inline constexpr int32_t kMaxNumberDigits = 20;

enum class NumberError {
    kNone,
    kEmpty,          // nothing but separators (or nothing at all)
    kBadCharacter,   // a letter, a control character or other sign; `character` holds it
    kMisplacedPlus,  // a '+' that is not the first character
    kTooLong,        // more than kMaxNumberDigits digits
};

struct PhoneNumber {
    std::u16string number;  // the cleaned number when ok(): an optional '+', then 0-9 * #
    NumberError error = NumberError::kNone;
    char16_t character = 0;  // the refused character, for kBadCharacter and kMisplacedPlus
    int32_t digits = 0;      // digit count (without '+'), also when too long

    bool ok() const { return error == NumberError::kNone; }
    // One English sentence saying why the number was refused; empty when ok().  A control
    // character is named by its code, never shown raw.
    std::u16string Reason() const;
};

// Blanks, dashes, dots and round brackets are removed; one '+' in front is kept; digits, '*' and
// '#' (the semi-octets A and B) stay.  Everything else is refused, never dropped: a number the
// user did not type must not be dialled.
PhoneNumber NormalisePhoneNumber(std::u16string_view typed);

// The SMS centre: the same check, except that an empty (or blank) centre is accepted as empty,
// meaning the centre stored in the modem.
PhoneNumber NormaliseServiceCentre(std::u16string_view typed);

// The check of a number that should be normalised already: the same refusals, and a separator
// is refused as a bad character.
PhoneNumber CheckNormalisedNumber(std::u16string_view number);

// True for a number that NormalisePhoneNumber leaves as it is.
bool IsNormalisedNumber(std::u16string_view number);

}  // namespace telvane
