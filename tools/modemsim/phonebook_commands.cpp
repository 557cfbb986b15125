// The SIM phonebook's commands (3GPP TS 27.007 8.11-8.14).
#include <algorithm>
#include <cstdio>

#include "modemsim/simulated_modem.h"
#include "platform/text.h"

namespace telvane::modemsim {
namespace {

using Form = AtCommand::Form;

// A phonebook name as the selected character set shows it (27.007 +CSCS).
std::string EncodeName(const std::string& utf8, const std::string& charset) {
    std::u16string text = Utf8ToU16(utf8);
    std::string out;
    if (charset == "UCS2") {
        char hex[5];
        for (char16_t c : text) {
            std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(c));
            out += hex;
        }
        return out;
    }
    for (char16_t c : text) {
        bool latin1 = charset == "8859-1" && c < 0x100;
        out += (c >= 0x20 && c < 0x7F && c != '"') || latin1 ? static_cast<char>(c) : '?';
    }
    return out;
}

// A name given in the selected character set, as UTF-8; nothing when it is malformed.
std::optional<std::string> DecodeName(const std::string& given, const std::string& charset) {
    if (charset != "UCS2") {
        std::u16string text;
        for (char c : given)
            text += static_cast<char16_t>(static_cast<unsigned char>(c));
        return U16ToUtf8(text);
    }
    if (given.size() % 4) return std::nullopt;
    std::u16string text;
    for (size_t i = 0; i < given.size(); i += 4) {
        unsigned value = 0;
        for (size_t j = i; j < i + 4; ++j) {
            char c = given[j];
            int digit = (c >= '0' && c <= '9')   ? c - '0'
                        : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                        : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                 : -1;
            if (digit < 0) return std::nullopt;
            value = value * 16 + static_cast<unsigned>(digit);
        }
        text += static_cast<char16_t>(value);
    }
    return U16ToUtf8(text);
}

size_t Utf16Length(const std::string& utf8) {
    return Utf8ToU16(utf8).size();
}

}  // namespace

AtResult SimulatedModem::PhonebookStorage(const AtCommand& c) {
    if (c.form == Form::Test) return AtResult::Line("+CPBS: (\"SM\")");
    if (c.form == Form::Read) {
        return AtResult::Line("+CPBS: \"SM\"," + std::to_string(scenario_.phonebook.size()) + "," +
                              std::to_string(scenario_.phonebookCapacity));
    }
    std::vector<std::string> a = SplitArguments(c.args);
    if (c.form == Form::Set && a.size() == 1 && UpperAscii(a[0]) == "SM") return AtResult::Ok();
    return AtResult::Fail(CmeError(3));
}

AtResult SimulatedModem::PhonebookRead(const AtCommand& c) {
    const Scenario& s = scenario_;
    if (c.form == Form::Test) {
        return AtResult::Line("+CPBR: (1-" + std::to_string(s.phonebookCapacity) + ")," +
                              std::to_string(s.numberLimit) + "," + std::to_string(s.textLimit));
    }
    std::vector<std::string> a = SplitArguments(c.args);
    int first = 0;
    if (c.form != Form::Set || a.empty() || a.size() > 2 || !ReadNumber(a[0], first))
        return AtResult::Fail(CmeError(4));
    int last = first;
    if (a.size() == 2 && !ReadNumber(a[1], last)) return AtResult::Fail(CmeError(4));
    if (first < 1 || last < first || last > s.phonebookCapacity)
        return AtResult::Fail(CmeError(21));
    AtResult r;
    for (const Contact& e : s.phonebook) {
        if (e.index < first || e.index > last) continue;
        bool international = !e.number.empty() && e.number[0] == '+';
        r.lines.push_back("+CPBR: " + std::to_string(e.index) + "," + Quote(e.number) + "," +
                          (international ? "145" : "129") + "," +
                          Quote(EncodeName(e.name, charset_)));
    }
    // Empty but valid positions give no lines, only OK (27.007 8.12).
    return r;
}

AtResult SimulatedModem::PhonebookWrite(const AtCommand& c) {
    Scenario& s = scenario_;
    auto& book = s.phonebook;
    if (c.form == Form::Test) {
        return AtResult::Line("+CPBW: (1-" + std::to_string(s.phonebookCapacity) + ")," +
                              std::to_string(s.numberLimit) + ",(129,145)," +
                              std::to_string(s.textLimit));
    }
    std::vector<std::string> a = SplitArguments(c.args);
    if (c.form != Form::Set || a.empty() || a.size() > 4) return AtResult::Fail(CmeError(4));
    int index = 0;
    if (!a[0].empty() && (!ReadNumber(a[0], index) || index < 1 || index > s.phonebookCapacity))
        return AtResult::Fail(CmeError(21));
    std::string number = a.size() > 1 ? a[1] : "";
    int type = 129;
    if (a.size() > 2 && !a[2].empty() &&
        (!ReadNumber(a[2], type) || (type != 129 && type != 145 && type != 161)))
        return AtResult::Fail(CmeError(4));
    auto name = DecodeName(a.size() > 3 ? a[3] : "", charset_);
    if (!name) return AtResult::Fail(CmeError(4));
    auto at = [&](int i) {
        return std::find_if(book.begin(), book.end(),
                            [&](const Contact& e) { return e.index == i; });
    };
    if (number.empty() && name->empty()) {
        // An index alone, or empty fields, clears the entry.
        if (index == 0) return AtResult::Fail(CmeError(21));
        auto it = at(index);
        if (it != book.end()) book.erase(it);
        return AtResult::Ok();
    }
    if (type == 145 && number.rfind('+', 0) != 0) number = "+" + number;
    size_t digits = number.size() - (number.rfind('+', 0) == 0 ? 1 : 0);
    if (digits > static_cast<size_t>(s.numberLimit)) return AtResult::Fail(CmeError(26));
    if (Utf16Length(*name) > static_cast<size_t>(s.textLimit)) return AtResult::Fail(CmeError(24));
    for (char ch : number) {
        if (!((ch >= '0' && ch <= '9') || ch == '+' || ch == '*' || ch == '#'))
            return AtResult::Fail(CmeError(27));
    }
    if (index == 0) {
        index = 1;
        while (at(index) != book.end())
            ++index;
        if (index > s.phonebookCapacity) return AtResult::Fail(CmeError(20));
    }
    auto it = at(index);
    if (it != book.end()) {
        it->number = number;
        it->name = *name;
    } else {
        book.insert(std::upper_bound(book.begin(), book.end(), index,
                                     [](int i, const Contact& e) { return i < e.index; }),
                    Contact{index, number, *name});
    }
    return AtResult::Ok();
}

}  // namespace telvane::modemsim
