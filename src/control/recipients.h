// Recipient lists as the compose page and the Outbox keep them: numbers separated by ';'.
#pragma once

#include <string>

namespace telvane {

// Drops the separators (';', ',', blanks, tabs) at the start of `list`.
void TrimLeadingSeparators(std::u16string& list);

// Takes the first recipient off the list.  Only ';' separates; a comma or blank inside an entry
// belongs to the number.
std::u16string TakeRecipient(std::u16string& list);

}  // namespace telvane
