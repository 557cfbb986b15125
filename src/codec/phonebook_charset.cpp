#include "codec/phonebook_charset.h"

#include <array>

#include "codec/gsm_alphabet.h"

namespace telvane {
namespace {

struct CharsetEntry {
    std::string_view name;
    PhonebookCharset set;
};
constexpr std::array<CharsetEntry, 3> kCharsets = {{
    {"GSM", PhonebookCharset::kGsm},
    {"IRA", PhonebookCharset::kIra},
    {"UCS2", PhonebookCharset::kUcs2},
}};

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

// The octets of a hex field; nothing when it has an odd length or a non-hex character.
std::optional<std::vector<uint8_t>> HexOctets(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::vector<uint8_t> octets;
    octets.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(static_cast<unsigned char>(hex[i]));
        const int low = HexDigit(static_cast<unsigned char>(hex[i + 1]));
        if (high < 0 || low < 0) return std::nullopt;
        octets.push_back(static_cast<uint8_t>(high * 16 + low));
    }
    return octets;
}

void AppendHex4(std::string& out, char16_t unit) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += kHex[(unit >> shift) & 0xF];
}

std::u16string Ucs2Units(const std::vector<uint8_t>& octets, size_t from) {
    std::u16string text;
    for (size_t i = from; i + 1 < octets.size(); i += 2)
        text += static_cast<char16_t>(octets[i] << 8 | octets[i + 1]);
    // Unused characters of a SIM record are FFFF.
    while (!text.empty() && text.back() == 0xFFFF)
        text.pop_back();
    return text;
}

// 81 and 82 forms: `count` octets after a header of `header` octets; below 80 a GSM septet (an
// escape takes the next octet with it), from 80 up an offset from `base`.  Nothing when the
// octets do not match the count or hold no offset character (the field is then read as plain
// UCS2, which can also begin with 81 or 82).
std::optional<std::u16string> CompactUnits(const std::vector<uint8_t>& octets, size_t header,
                                           char16_t base) {
    const size_t count = octets[1];
    if (octets.size() < header + count) return std::nullopt;
    for (size_t i = header + count; i < octets.size(); ++i)
        if (octets[i] != 0xFF) return std::nullopt;
    std::u16string text;
    std::vector<uint8_t> septets;
    bool offset = false;
    auto flushSeptets = [&] {
        GsmSeptetsToText(septets.data(), septets.size(), text);
        septets.clear();
    };
    for (size_t i = header; i < header + count; ++i) {
        const uint8_t octet = octets[i];
        if (octet < 0x80) {
            septets.push_back(octet);
            continue;
        }
        flushSeptets();
        text += static_cast<char16_t>(base + (octet & 0x7F));
        offset = true;
    }
    flushSeptets();
    // A SIM writes a name without any such character in plain GSM, never in this form.
    if (!offset) return std::nullopt;
    return text;
}

std::optional<std::u16string> DecodeUcs2Name(std::string_view field) {
    const std::optional<std::vector<uint8_t>> octets = HexOctets(field);
    if (!octets) return std::nullopt;
    const std::vector<uint8_t>& o = *octets;
    // A plain UCS2 field has whole characters (a multiple of two octets); the 80 form adds one
    // octet to them.  The 81 and 82 forms are taken only when their own count fits exactly.
    if (!o.empty() && o[0] == 0x80 && o.size() % 2 == 1) return Ucs2Units(o, 1);
    if (o.size() >= 3 && o[0] == 0x81) {
        if (auto text = CompactUnits(o, 3, static_cast<char16_t>(o[2] << 7))) return text;
    }
    if (o.size() >= 4 && o[0] == 0x82) {
        if (auto text = CompactUnits(o, 4, static_cast<char16_t>(o[2] << 8 | o[3]))) return text;
    }
    if (o.size() % 2 != 0) return std::nullopt;
    return Ucs2Units(o, 0);
}

std::u16string Describe(char16_t c) {
    if (c >= 0x20 && c != 0x7F) return std::u16string(u"\u201C") + c + u"\u201D";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::u16string code = u"the control character U+";
    for (int shift = 12; shift >= 0; shift -= 4)
        code += static_cast<char16_t>(kHex[(c >> shift) & 0xF]);
    return code;
}

std::u16string Widen16(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::u16string NumberText(int32_t n) {
    return Widen16(std::to_string(n));
}

// The byte a character travels as inside a quoted field of `set`; nothing when it cannot.
std::optional<char> FieldByte(char16_t c, PhonebookCharset set) {
    uint8_t byte = 0;
    switch (set) {
        case PhonebookCharset::kIra:
            if (c > 0x7F) return std::nullopt;
            byte = static_cast<uint8_t>(c);
            break;
        case PhonebookCharset::kGsm: {
            uint8_t septets[2];
            // An extension character needs an escape byte in the command line, which modems
            // do not take inside a command.
            if (GsmEncodeChar(c, septets) != 1) return std::nullopt;
            byte = septets[0];
            break;
        }
        case PhonebookCharset::kUcs2:
            return std::nullopt;
    }
    // Control bytes edit or end the command line (GSM puts '@', '$', '_' and several accented
    // letters there); a quote ends the field; DEL erases.
    if (byte < 0x20 || byte == 0x7F || byte == '"') return std::nullopt;
    return static_cast<char>(byte);
}

}  // namespace

std::string_view CharsetName(PhonebookCharset set) {
    switch (set) {
        case PhonebookCharset::kIra:
            return "IRA";
        case PhonebookCharset::kGsm:
            return "GSM";
        case PhonebookCharset::kUcs2:
            return "UCS2";
    }
    return "IRA";
}

std::vector<PhonebookCharset> ParseCharsetOffer(std::string_view answer) {
    std::vector<PhonebookCharset> offered;
    size_t at = answer.find(':');
    while (at != std::string_view::npos) {
        const size_t open = answer.find('"', at + 1);
        if (open == std::string_view::npos) break;
        const size_t close = answer.find('"', open + 1);
        if (close == std::string_view::npos) break;
        const std::string_view name = answer.substr(open + 1, close - open - 1);
        for (const CharsetEntry& entry : kCharsets)
            if (entry.name == name) offered.push_back(entry.set);
        at = close;
    }
    return offered;
}

PhonebookCharset ChoosePhonebookCharset(const std::vector<PhonebookCharset>& offered) {
    auto has = [&](PhonebookCharset set) {
        for (PhonebookCharset s : offered)
            if (s == set) return true;
        return false;
    };
    if (has(PhonebookCharset::kUcs2)) return PhonebookCharset::kUcs2;
    // IRA before GSM: the GSM set puts '@', '$' and '_' on control bytes a command cannot carry.
    if (has(PhonebookCharset::kIra) || !has(PhonebookCharset::kGsm)) return PhonebookCharset::kIra;
    return PhonebookCharset::kGsm;
}

int32_t PhonebookNameLength(std::u16string_view name, PhonebookCharset set) {
    if (set != PhonebookCharset::kGsm) return static_cast<int32_t>(name.size());
    int32_t septets = 0;
    for (char16_t c : name) {
        uint8_t unused[2];
        const int n = GsmEncodeChar(c, unused);
        septets += n == 0 ? 1 : n;
    }
    return septets;
}

NameField EncodePhonebookName(std::u16string_view name, PhonebookCharset set, int32_t textLimit) {
    NameField result;
    if (set == PhonebookCharset::kUcs2) {
        for (char16_t c : name)
            AppendHex4(result.field, c);
    } else {
        for (char16_t c : name) {
            const std::optional<char> byte = FieldByte(c, set);
            if (!byte) {
                result.field.clear();
                result.reason = Describe(c) + u" cannot be written to the SIM in the modem's " +
                                Widen16(CharsetName(set)) + u" character set.";
                return result;
            }
            result.field += *byte;
        }
    }
    const int32_t length = PhonebookNameLength(name, set);
    if (textLimit > 0 && length > textLimit) {
        result.field.clear();
        result.reason = u"The name is " + NumberText(length) +
                        u" characters long; the SIM holds at most " + NumberText(textLimit) + u".";
    }
    return result;
}

std::optional<std::u16string> DecodePhonebookName(std::string_view field, PhonebookCharset set) {
    switch (set) {
        case PhonebookCharset::kUcs2:
            return DecodeUcs2Name(field);
        case PhonebookCharset::kGsm: {
            std::vector<uint8_t> septets;
            for (char c : field) {
                const auto byte = static_cast<uint8_t>(c);
                if (byte > 0x7F) return std::nullopt;
                septets.push_back(byte);
            }
            std::u16string text;
            GsmSeptetsToText(septets.data(), septets.size(), text);
            return text;
        }
        case PhonebookCharset::kIra: {
            std::u16string text;
            for (char c : field)
                text += static_cast<char16_t>(static_cast<uint8_t>(c));
            return text;
        }
    }
    return std::nullopt;
}

std::optional<std::u16string> DecodePhonebookName(std::u16string_view field, PhonebookCharset set) {
    std::string bytes;
    bytes.reserve(field.size());
    for (char16_t unit : field) {
        if (unit > 0xFF) return std::nullopt;
        bytes += static_cast<char>(unit);
    }
    return DecodePhonebookName(std::string_view(bytes), set);
}

}  // namespace telvane
