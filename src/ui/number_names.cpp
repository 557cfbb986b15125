#include "ui/number_names.h"

#include <string_view>

namespace telvane {

namespace {

struct Digits {
    std::u16string digits;
    bool international = false;
    bool national = false;  // one trunk 0, not an international prefix
};

Digits Read(const std::u16string& number) {
    Digits d;
    for (char16_t c : number) {
        if (c >= u'0' && c <= u'9') {
            d.digits.push_back(c);
        } else if (std::u16string_view(u"+ -()./").find(c) == std::u16string_view::npos) {
            return {};  // letters or '*#': not a number a phonebook could name
        }
    }
    const size_t start = number.find_first_not_of(u' ');
    const bool plus = start != std::u16string::npos && number[start] == u'+';
    d.international = plus || d.digits.rfind(u"00", 0) == 0;
    // "+" and "00" are two ways to write the same international prefix.
    if (!plus && d.international) d.digits.erase(0, 2);
    d.national = !d.international && d.digits.size() >= 8 && d.digits[0] == u'0';
    return d;
}

bool EndsWith(const std::u16string& text, const std::u16string& tail) {
    return text.size() > tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

void NumberNames::Clear() {
    exact_.clear();
    entries_.clear();
}

void NumberNames::Add(const std::u16string& number, const std::u16string& name) {
    const Digits d = Read(number);
    if (d.digits.empty() || name.empty()) return;
    if (!exact_.emplace(d.digits, name).second) return;
    entries_.push_back({d.digits, d.international, name});
}

std::u16string NumberNames::Find(const std::u16string& number) const {
    const Digits d = Read(number);
    if (d.digits.empty()) return {};
    if (auto it = exact_.find(d.digits); it != exact_.end()) return it->second;
    for (const Entry& e : entries_) {
        if (d.national && e.international && EndsWith(e.digits, d.digits.substr(1))) return e.name;
        if (d.international && e.digits.size() >= 8 && e.digits[0] == u'0' && !e.international &&
            EndsWith(d.digits, e.digits.substr(1))) {
            return e.name;
        }
    }
    return {};
}

}  // namespace telvane
