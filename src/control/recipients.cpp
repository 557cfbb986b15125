#include "control/recipients.h"

#include "control/ui_strings.h"

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

CheckedRecipients CheckRecipients(std::u16string_view list) {
    CheckedRecipients checked;
    std::u16string numbers;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(u';', start);
        if (end == std::u16string_view::npos) end = list.size();
        std::u16string_view entry = list.substr(start, end - start);
        start = end + 1;
        // Blanks and commas around an entry are what the list's separators leave.
        while (!entry.empty() &&
               (entry.front() == u' ' || entry.front() == u',' || entry.front() == u'\t'))
            entry.remove_prefix(1);
        while (!entry.empty() && (entry.back() == u' ' || entry.back() == u'\t'))
            entry.remove_suffix(1);
        if (entry.empty()) continue;
        PhoneNumber number = NormalisePhoneNumber(entry);
        if (!number.ok()) {
            checked.refused = std::u16string(entry);
            checked.why = std::move(number);
            return checked;
        }
        if (!numbers.empty()) numbers += u';';
        numbers += number.number;
    }
    if (numbers.empty()) {
        checked.why.error = NumberError::kEmpty;
        return checked;
    }
    checked.numbers = std::move(numbers);
    return checked;
}

std::u16string ShownNumber(std::u16string_view number) {
    std::u16string shown(number);
    for (char16_t& c : shown) {
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) c = u'\uFFFD';
    }
    return shown;
}

std::u16string RefusedNumberText(std::u16string_view number, const PhoneNumber& why) {
    return FormatUiString(ui_text::kInvalidRecipient, {ShownNumber(number), why.Reason()});
}

}  // namespace telvane
