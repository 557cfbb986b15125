#include "codec/phone_number.h"

#include <cstdio>

#include "platform/text.h"

namespace telvane {

namespace {

// Separators people write inside numbers; the modem's address field has no place for them.
bool IsSeparator(char16_t c) {
    switch (c) {
        case u' ':
        case u'\u00A0':  // no-break space, common in copied contacts
        case u'-':
        case u'\u2010':  // hyphen .. horizontal bar
        case u'\u2011':
        case u'\u2012':
        case u'\u2013':
        case u'\u2014':
        case u'\u2015':
        case u'\u2212':  // minus sign
        case u'.':
        case u'(':
        case u')':
            return true;
        default:
            return false;
    }
}

bool IsDigitOrSign(char16_t c) {
    return (c >= u'0' && c <= u'9') || c == u'*' || c == u'#';
}

PhoneNumber Refuse(NumberError error, char16_t character = 0, int32_t digits = 0) {
    PhoneNumber result;
    result.error = error;
    result.character = character;
    result.digits = digits;
    return result;
}

std::string Describe(char16_t c) {
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || (c >= 0xD800 && c <= 0xDFFF)) {
        char code[32];
        std::snprintf(code, sizeof code, "a control character (U+%04X)", static_cast<unsigned>(c));
        return code;
    }
    return "'" + U16ToUtf8(std::u16string(1, c)) + "'";
}

PhoneNumber Normalise(std::u16string_view typed, bool dropSeparators) {
    PhoneNumber result;
    result.number.reserve(typed.size());
    for (char16_t c : typed) {
        if (dropSeparators && IsSeparator(c)) continue;
        if (c == u'+') {
            if (!result.number.empty()) return Refuse(NumberError::kMisplacedPlus, c);
            result.number.push_back(c);
            continue;
        }
        if (!IsDigitOrSign(c)) return Refuse(NumberError::kBadCharacter, c);
        result.number.push_back(c);
        ++result.digits;
    }
    if (result.digits == 0) return Refuse(NumberError::kEmpty);
    if (result.digits > kMaxNumberDigits) return Refuse(NumberError::kTooLong, 0, result.digits);
    return result;
}

}  // namespace

std::u16string PhoneNumber::Reason() const {
    std::string text;
    switch (error) {
        case NumberError::kNone:
            return {};
        case NumberError::kEmpty:
            text = "The number is empty.";
            break;
        case NumberError::kBadCharacter:
            text = "The number holds " + Describe(character) +
                   "; only digits, * and #, after an optional leading +, are allowed.";
            break;
        case NumberError::kMisplacedPlus:
            text = "The number has a '+' after its start; '+' is allowed only in front.";
            break;
        case NumberError::kTooLong:
            text = "The number has " + std::to_string(digits) + " digits; at most " +
                   std::to_string(kMaxNumberDigits) + " fit.";
            break;
    }
    return Utf8ToU16(text);
}

PhoneNumber NormalisePhoneNumber(std::u16string_view typed) {
    return Normalise(typed, true);
}

PhoneNumber CheckNormalisedNumber(std::u16string_view number) {
    return Normalise(number, false);
}

PhoneNumber NormaliseServiceCentre(std::u16string_view typed) {
    bool blank = true;
    for (char16_t c : typed)
        blank = blank && IsSeparator(c);
    if (blank) return PhoneNumber{};
    return NormalisePhoneNumber(typed);
}

bool IsNormalisedNumber(std::u16string_view number) {
    PhoneNumber n = NormalisePhoneNumber(number);
    return n.ok() && n.number == number;
}

}  // namespace telvane
