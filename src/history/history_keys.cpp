#include "history/history_keys.h"

#include <array>

namespace telvane {
namespace {

constexpr size_t kPersonDigits = 9;

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    // Howard Hinnant's days_from_civil, days since 1970-01-01.
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

const int64_t kDays2000 = DaysFromCivil(2000, 1, 1);

void AppendTwo(std::u16string& out, int64_t value) {
    out += static_cast<char16_t>(u'0' + (value / 10) % 10);
    out += static_cast<char16_t>(u'0' + value % 10);
}

// FNV-1a over the UTF-16 units: the text's part of a key, short and stable across versions.
uint64_t TextHash(std::u16string_view text) {
    uint64_t hash = 1469598103934665603ULL;
    for (char16_t c : text) {
        hash ^= static_cast<uint64_t>(c);
        hash *= 1099511628211ULL;
    }
    return hash;
}

std::u16string Hex(uint64_t value) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string out(16, u'0');
    for (int i = 15; i >= 0; --i, value >>= 4)
        out[static_cast<size_t>(i)] = kDigits[value & 15];
    return out;
}

std::u16string Decimal(int64_t value) {
    std::string ascii = std::to_string(value);
    return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace

std::u16string PersonKey(std::u16string_view number) {
    std::u16string digits;
    bool letters = false;
    for (char16_t c : number) {
        if (IsDigit(c)) {
            digits += c;
        } else if (c != u'+' && c != u' ' && c != u'-' && c != u'(' && c != u')' && c != u'.') {
            letters = true;
        }
    }
    if (letters || digits.empty()) {
        std::u16string lower;
        for (char16_t c : number)
            lower += (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
        return lower;
    }
    if (digits.size() > kPersonDigits) digits.erase(0, digits.size() - kPersonDigits);
    return digits;
}

std::optional<int64_t> HistoryTime(std::u16string_view stamp) {
    // yy/MM/dd,hh:mm:ss
    static constexpr std::array<size_t, 6> kFields = {0, 3, 6, 9, 12, 15};
    static constexpr std::u16string_view kSeparators = u"//,::";
    if (stamp.size() < 17) return std::nullopt;
    for (size_t i = 0; i < kSeparators.size(); ++i)
        if (stamp[kFields[i] + 2] != kSeparators[i]) return std::nullopt;
    std::array<int64_t, 6> v{};
    for (size_t i = 0; i < kFields.size(); ++i) {
        const char16_t a = stamp[kFields[i]];
        const char16_t b = stamp[kFields[i] + 1];
        if (!IsDigit(a) || !IsDigit(b)) return std::nullopt;
        v[i] = (a - u'0') * 10 + (b - u'0');
    }
    if (v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31 || v[3] > 23 || v[4] > 59 || v[5] > 60)
        return std::nullopt;
    const int64_t days = DaysFromCivil(2000 + v[0], v[1], v[2]) - kDays2000;
    return days * 86400 + v[3] * 3600 + v[4] * 60 + v[5];
}

std::u16string HistoryTimeText(int64_t seconds) {
    if (seconds < 0) seconds = 0;
    int64_t days = seconds / 86400 + kDays2000;
    const int64_t rest = seconds % 86400;
    // civil_from_days
    days += 719468;
    const int64_t era = days / 146097;
    const int64_t doe = days - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp < 10 ? mp + 3 : mp - 9;
    const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    std::u16string out;
    AppendTwo(out, y % 100);
    out += u'/';
    AppendTwo(out, m);
    out += u'/';
    AppendTwo(out, d);
    out += u',';
    AppendTwo(out, rest / 3600);
    out += u':';
    AppendTwo(out, rest / 60 % 60);
    out += u':';
    AppendTwo(out, rest % 60);
    return out;
}

std::u16string MessageKey(HistoryDirection direction, std::u16string_view number,
                          std::u16string_view timeText, std::u16string_view text,
                          int32_t concatReference, int32_t concatTotal) {
    std::u16string key = direction == HistoryDirection::kIn ? u"in|" : u"out|";
    key += PersonKey(number);
    key += u'|';
    // The zone is left out: the same message listed with and without it is one message.
    key += timeText.substr(0, 17);
    key += u'|';
    if (concatTotal > 1) {
        key += u"parts " + Decimal(concatReference) + u"/" + Decimal(concatTotal);
    } else {
        key += Hex(TextHash(text));
    }
    return key;
}

}  // namespace telvane
