// Recipient lists as the compose page and the Outbox keep them: numbers separated by ';'.
#pragma once

#include <string>
#include <string_view>

#include "codec/phone_number.h"

namespace telvane {

// Drops the separators (';', ',', blanks, tabs) at the start of `list`.
void TrimLeadingSeparators(std::u16string& list);

// Takes the first recipient off the list.  Only ';' separates; a comma or blank inside an entry
// belongs to the number.
std::u16string TakeRecipient(std::u16string& list);

// A typed or picked recipient list after the number check.
struct CheckedRecipients {
    // Every recipient cleaned, joined by ';'; empty when one was refused or there was none.
    std::u16string numbers;
    // The first recipient refused, as given, and why; `why` ok() when none was.
    std::u16string refused;
    PhoneNumber why;

    bool ok() const { return why.ok() && !numbers.empty(); }
};

// Each ';'-separated entry through NormalisePhoneNumber; empty entries are skipped.  A list of
// no entries is refused as an empty number.
CheckedRecipients CheckRecipients(std::u16string_view list);

// A number as given, fit to be shown: control characters become U+FFFD (the reason names them).
std::u16string ShownNumber(std::u16string_view number);

// "\"<number>\" is not a valid phone number: <why>", in the interface's language.
std::u16string RefusedNumberText(std::u16string_view number, const PhoneNumber& why);

}  // namespace telvane
