// The SIM phonebook's commands (3GPP TS 27.007 8.11-8.14).
#include <algorithm>

#include "modemsim/sim_pdu.h"
#include "modemsim/simulated_modem.h"
#include "platform/text.h"

namespace telvane::modemsim {
namespace {

using Form = AtCommand::Form;

void AppendHex(std::string& out, unsigned value, int digits) {
    static const char kHex[] = "0123456789ABCDEF";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += kHex[(value >> shift) & 0xF];
}

// A name outside the GSM alphabet in one of the SIM's compact forms (3GPP TS 11.11 annex B):
// GSM characters as septets, the rest as offsets from one base inside a window of 128.  Nothing
// when the name does not fit that form.
std::optional<std::string> CompactForm(const std::u16string& name, Ucs2Form form) {
    std::optional<char16_t> base;
    for (char16_t c : name) {
        if (ToGsmBytes(std::u16string(1, c))) continue;
        char16_t b = form == Ucs2Form::Form81 ? static_cast<char16_t>(c & 0x7F80) : c;
        if (!base || b < *base) base = b;
    }
    if (!base) return std::nullopt;
    if (form == Ucs2Form::Form81 && *base > 0x7F80) return std::nullopt;
    std::string body;
    int count = 0;
    for (char16_t c : name) {
        if (auto gsm = ToGsmBytes(std::u16string(1, c))) {
            for (char b : *gsm)
                AppendHex(body, static_cast<unsigned char>(b), 2);
            count += static_cast<int>(gsm->size());
            continue;
        }
        if (c < *base || c - *base > 0x7F) return std::nullopt;
        AppendHex(body, 0x80u | static_cast<unsigned>(c - *base), 2);
        ++count;
    }
    std::string out = form == Ucs2Form::Form81 ? "81" : "82";
    AppendHex(out, static_cast<unsigned>(count), 2);
    if (form == Ucs2Form::Form81)
        AppendHex(out, static_cast<unsigned>(*base >> 7), 2);
    else
        AppendHex(out, *base, 4);
    return out + body;
}

// Bytes a name takes on the SIM: GSM septets where every character has one, else the form
// the modem writes (80: one octet and two per character).
size_t SimBytes(const std::u16string& name, Ucs2Form form) {
    if (auto gsm = ToGsmBytes(name)) return gsm->size();
    if (form == Ucs2Form::Form81 || form == Ucs2Form::Form82) {
        if (auto compact = CompactForm(name, form)) return compact->size() / 2;
    }
    return 1 + 2 * name.size();
}

// A phonebook name as the selected character set shows it (27.007 5.5); a character the set
// lacks shows as '?', as modems do.
std::string EncodeName(const std::u16string& name, const std::string& charset, Ucs2Form form) {
    std::string out;
    if (charset == "UCS2") {
        bool gsm = ToGsmBytes(name).has_value();
        if (!gsm && (form == Ucs2Form::Form81 || form == Ucs2Form::Form82)) {
            if (auto compact = CompactForm(name, form)) return *compact;
        }
        if (!gsm && form != Ucs2Form::Plain) out = "80";
        for (char16_t c : name)
            AppendHex(out, c, 4);
        return out;
    }
    for (char16_t c : name) {
        std::optional<std::string> bytes;
        if (c == u'"') {
            // A quote would end the quoted field.
        } else if (charset == "GSM") {
            bytes = ToGsmBytes(std::u16string(1, c));
        } else if ((charset == "IRA" && c >= 0x20 && c < 0x7F) ||
                   (charset == "8859-1" && c >= 0x20 && c < 0x100 && (c < 0x7F || c >= 0xA0))) {
            bytes = std::string(1, static_cast<char>(c));
        }
        out += bytes ? *bytes : "?";
    }
    return out;
}

// A name given in the selected character set; nothing when it holds a character the set
// lacks or malformed hex.
std::optional<std::u16string> DecodeName(const std::string& given, const std::string& charset) {
    std::u16string text;
    if (charset == "UCS2") {
        if (given.size() % 4) return std::nullopt;
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
        return text;
    }
    if (charset == "GSM") return FromGsmBytes(given);
    for (char c : given) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || (charset == "IRA" && b >= 0x7F) || (b >= 0x7F && b < 0xA0))
            return std::nullopt;
        text += static_cast<char16_t>(b);
    }
    return text;
}

// The longest name a client may give in `charset`: in UCS2 every character may take two
// bytes of the SIM's record.
int TextLimit(int simBytes, const std::string& charset) {
    return charset == "UCS2" ? (simBytes - 1) / 2 : simBytes;
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
        if (!s.phonebookRange.empty()) return AtResult::Line("+CPBR: " + s.phonebookRange);
        return AtResult::Line("+CPBR: (1-" + std::to_string(s.phonebookCapacity) + ")," +
                              std::to_string(s.numberLimit) + "," +
                              std::to_string(TextLimit(s.textLimit, charset_)));
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
        if (!e.raw.empty()) {
            r.lines.push_back(e.raw);
            continue;
        }
        bool international = !e.number.empty() && e.number[0] == '+';
        r.lines.push_back("+CPBR: " + std::to_string(e.index) + "," + Quote(e.number) + "," +
                          (international ? "145" : "129") + "," +
                          Quote(EncodeName(Utf8ToU16(e.name), charset_, s.ucs2Form)));
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
                              std::to_string(TextLimit(s.textLimit, charset_)));
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
    if (!name) return AtResult::Fail(CmeError(25));
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
    if (SimBytes(*name, s.ucs2Form) > static_cast<size_t>(s.textLimit))
        return AtResult::Fail(CmeError(24));
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
        it->name = U16ToUtf8(*name);
        it->raw.clear();
    } else {
        book.insert(std::upper_bound(book.begin(), book.end(), index,
                                     [](int i, const Contact& e) { return i < e.index; }),
                    Contact{index, number, U16ToUtf8(*name), {}});
    }
    return AtResult::Ok();
}

}  // namespace telvane::modemsim
