#include "control/recipients.h"

namespace telvane {

namespace {

bool IsRecipientSeparator(char16_t c) {
    return c == u';' || c == u',' || c == u' ' || c == u'\t';
}

}  // namespace

void TrimLeadingSeparators(std::u16string& list) {
    size_t start = 0;
    while (start < list.size() && IsRecipientSeparator(list[start]))
        ++start;
    list.erase(0, start);
}

std::u16string TakeRecipient(std::u16string& list) {
    TrimLeadingSeparators(list);
    const size_t separator = list.find(u';');
    std::u16string recipient = list.substr(0, separator);
    if (separator == std::u16string::npos) {
        list.clear();
    } else {
        list.erase(0, separator + 1);
        TrimLeadingSeparators(list);
    }
    return recipient;
}

}  // namespace telvane
