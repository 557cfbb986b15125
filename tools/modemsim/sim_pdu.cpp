#include "modemsim/sim_pdu.h"

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <vector>

#include "platform/text.h"

namespace telvane::modemsim {
namespace {

// 3GPP TS 23.038 6.2.1: the default alphabet; 0x1B is the escape to the extension table.
constexpr char16_t kDefaultAlphabet[129] =
    u"@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞ\x1B"
    u"ÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
    u"¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§"
    u"¿abcdefghijklmnopqrstuvwxyzäöñüà";

// 3GPP TS 23.038 6.2.1.1: the extension table.
struct Extension {
    char16_t ch;
    uint8_t code;
};
constexpr Extension kExtension[] = {{u'\f', 0x0A}, {u'^', 0x14}, {u'{', 0x28}, {u'}', 0x29},
                                    {u'\\', 0x2F}, {u'[', 0x3C}, {u'~', 0x3D}, {u']', 0x3E},
                                    {u'|', 0x40},  {u'€', 0x65}};

// Septets of `text` in the default alphabet, or nothing when a character has no place there.
std::optional<std::vector<uint8_t>> ToSeptets(const std::u16string& text) {
    std::vector<uint8_t> septets;
    for (char16_t ch : text) {
        bool found = false;
        for (int i = 0; i < 128 && !found; ++i) {
            if (kDefaultAlphabet[i] == ch && i != 0x1B) {
                septets.push_back(static_cast<uint8_t>(i));
                found = true;
            }
        }
        for (const Extension& e : kExtension) {
            if (!found && e.ch == ch) {
                septets.push_back(0x1B);
                septets.push_back(e.code);
                found = true;
            }
        }
        if (!found) return std::nullopt;
    }
    return septets;
}

std::vector<uint8_t> Pack(const std::vector<uint8_t>& septets) {
    std::vector<uint8_t> octets((septets.size() * 7 + 7) / 8, 0);
    for (size_t i = 0; i < septets.size(); ++i) {
        size_t bit = i * 7;
        octets[bit / 8] |= static_cast<uint8_t>(septets[i] << (bit % 8));
        if (bit % 8 > 1) octets[bit / 8 + 1] |= static_cast<uint8_t>(septets[i] >> (8 - bit % 8));
    }
    return octets;
}

void AppendHex(std::string& out, uint8_t octet) {
    static const char kHex[] = "0123456789ABCDEF";
    out += kHex[octet >> 4];
    out += kHex[octet & 0x0F];
}

bool IsDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s) {
        if ((c < '0' || c > '9') && c != '*' && c != '#') return false;
    }
    return true;
}

char SemiOctet(char c) {
    if (c == '*') return 'A';
    if (c == '#') return 'B';
    return c;
}

// Address field (23.040 9.1.2.5): length in digits, type, swapped semi-octets.
std::optional<std::string> Address(const std::string& number) {
    std::string out;
    bool international = !number.empty() && number[0] == '+';
    std::string digits = international ? number.substr(1) : number;
    if (IsDigits(digits)) {
        if (digits.size() > 20) return std::nullopt;
        AppendHex(out, static_cast<uint8_t>(digits.size()));
        AppendHex(out, international ? 0x91 : 0x81);
        if (digits.size() % 2) digits += 'F';
        for (size_t i = 0; i < digits.size(); i += 2) {
            out += SemiOctet(digits[i + 1]);
            out += SemiOctet(digits[i]);
        }
        return out;
    }
    // Alphanumeric, type of number 101 (as networks send operator names).
    std::u16string text(number.begin(), number.end());
    auto septets = ToSeptets(text);
    if (!septets || septets->empty() || septets->size() > 11) return std::nullopt;
    std::vector<uint8_t> octets = Pack(*septets);
    AppendHex(out, static_cast<uint8_t>((septets->size() * 7 + 3) / 4));
    AppendHex(out, 0xD0);
    for (uint8_t o : octets)
        AppendHex(out, o);
    return out;
}

std::string ServiceCentre(const std::string& number) {
    if (number.empty()) return "00";
    auto field = Address(number);
    if (!field || field->size() < 4) return "00";
    std::string out;
    AppendHex(out, static_cast<uint8_t>(field->size() / 2 - 1));
    return out + field->substr(2);
}

int Number(const std::string& s, size_t pos, size_t len) {
    if (pos + len > s.size()) return -1;
    int value = 0;
    for (size_t i = pos; i < pos + len; ++i) {
        if (s[i] < '0' || s[i] > '9') return -1;
        value = value * 10 + (s[i] - '0');
    }
    return value;
}

// "YY/MM/DD,hh:mm:ss[+zz]" -> 7 octets of swapped semi-octets (23.040 9.2.3.11).
std::optional<std::string> Timestamp(const std::string& ts) {
    if (ts.size() < 17 || ts[2] != '/' || ts[5] != '/' || ts[8] != ',' || ts[11] != ':' ||
        ts[14] != ':')
        return std::nullopt;
    int fields[6];
    const size_t positions[6] = {0, 3, 6, 9, 12, 15};
    for (int i = 0; i < 6; ++i) {
        fields[i] = Number(ts, positions[i], 2);
        if (fields[i] < 0) return std::nullopt;
    }
    int zone = 0;
    bool negative = false;
    if (ts.size() > 17) {
        if ((ts[17] != '+' && ts[17] != '-') || ts.size() < 19 || ts.size() > 20)
            return std::nullopt;
        negative = ts[17] == '-';
        zone = Number(ts, 18, ts.size() - 18);
        if (zone < 0 || zone > 79) return std::nullopt;
    }
    std::string out;
    auto swapped = [&](int v, bool sign) {
        uint8_t octet = static_cast<uint8_t>(((v % 10) << 4) | (v / 10));
        if (sign) octet |= 0x08;
        AppendHex(out, octet);
    };
    for (int v : fields)
        swapped(v, false);
    swapped(zone, negative);
    return out;
}

// DCS and user data (with its length octet) for `text`.
std::optional<std::string> UserData(const std::u16string& text, std::string& dcs) {
    std::string out;
    if (auto septets = ToSeptets(text)) {
        if (septets->size() > 160) return std::nullopt;
        dcs = "00";
        AppendHex(out, static_cast<uint8_t>(septets->size()));
        for (uint8_t o : Pack(*septets))
            AppendHex(out, o);
        return out;
    }
    if (text.size() > 70) return std::nullopt;
    dcs = "08";
    AppendHex(out, static_cast<uint8_t>(text.size() * 2));
    for (char16_t ch : text) {
        AppendHex(out, static_cast<uint8_t>(ch >> 8));
        AppendHex(out, static_cast<uint8_t>(ch & 0xFF));
    }
    return out;
}

// 23.040 9.2.3.24.1: one concatenation element, 8-bit reference.
constexpr size_t kHeaderOctets = 6;
constexpr size_t kSeptetsPerPart = 153;  // 160 less the header's 7 septets
constexpr size_t kUnitsPerPart = 67;     // 70 less the header's 3 units

std::string ConcatenationHeader(int reference, size_t total, size_t part) {
    std::string out = "050003";
    AppendHex(out, static_cast<uint8_t>(reference));
    AppendHex(out, static_cast<uint8_t>(total));
    AppendHex(out, static_cast<uint8_t>(part));
    return out;
}

// DCS and user data (length octet first) of each part of `text`.
struct Part {
    std::string dcs;
    std::string ud;
};
std::optional<std::vector<Part>> Parts(const std::u16string& text, int reference) {
    std::vector<std::u16string> pieces;
    bool gsm = ToSeptets(text).has_value();
    if (gsm ? ToSeptets(text)->size() <= 160 : text.size() <= 70) {
        pieces.push_back(text);
    } else {
        std::u16string piece;
        size_t used = 0;
        for (size_t i = 0; i < text.size(); ++i) {
            // A surrogate pair or an extension character's two septets stay in one part.
            size_t take =
                !gsm && i + 1 < text.size() && text[i] >= 0xD800 && text[i] < 0xDC00 ? 2 : 1;
            std::u16string unit = text.substr(i, take);
            size_t cost = gsm ? ToSeptets(unit)->size() : take;
            if (used + cost > (gsm ? kSeptetsPerPart : kUnitsPerPart)) {
                pieces.push_back(piece);
                piece.clear();
                used = 0;
            }
            piece += unit;
            used += cost;
            i += take - 1;
        }
        pieces.push_back(piece);
    }
    if (pieces.size() > 255) return std::nullopt;
    bool header = pieces.size() > 1;
    std::vector<Part> parts;
    for (size_t p = 0; p < pieces.size(); ++p) {
        Part part;
        part.dcs = gsm ? "00" : "08";
        std::string udh = header ? ConcatenationHeader(reference, pieces.size(), p + 1) : "";
        if (gsm) {
            // The header, then the septets from the next septet boundary (fill bits).
            std::vector<uint8_t> septets = *ToSeptets(pieces[p]);
            size_t skip = header ? (kHeaderOctets * 8 + 6) / 7 : 0;
            std::vector<uint8_t> all(skip, 0);
            all.insert(all.end(), septets.begin(), septets.end());
            std::vector<uint8_t> octets = Pack(all);
            AppendHex(part.ud, static_cast<uint8_t>(all.size()));
            part.ud += udh;
            for (size_t i = udh.size() / 2; i < octets.size(); ++i)
                AppendHex(part.ud, octets[i]);
        } else {
            AppendHex(part.ud, static_cast<uint8_t>(udh.size() / 2 + pieces[p].size() * 2));
            part.ud += udh;
            for (char16_t ch : pieces[p]) {
                AppendHex(part.ud, static_cast<uint8_t>(ch >> 8));
                AppendHex(part.ud, static_cast<uint8_t>(ch & 0xFF));
            }
        }
        parts.push_back(part);
    }
    return parts;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::vector<uint8_t>> Octets(const std::string& hex) {
    if (hex.empty() || hex.size() % 2) return std::nullopt;
    std::vector<uint8_t> out;
    for (size_t i = 0; i < hex.size(); i += 2) {
        int hi = HexValue(hex[i]);
        int lo = HexValue(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return out;
}

}  // namespace

std::optional<std::string> PackedUssdHex(const std::u16string& text) {
    std::optional<std::vector<uint8_t>> septets = ToSeptets(text);
    if (!septets) return std::nullopt;
    // 23.038 6.1.2.3.1: seven spare bits at the end would read as an '@'; a CR fills them.
    if (septets->size() % 8 == 7) septets->push_back(0x0D);
    std::string hex;
    for (uint8_t o : Pack(*septets))
        AppendHex(hex, o);
    return hex;
}

std::string Ucs2Hex(const std::u16string& text) {
    std::string hex;
    for (char16_t ch : text) {
        AppendHex(hex, static_cast<uint8_t>(ch >> 8));
        AppendHex(hex, static_cast<uint8_t>(ch & 0xFF));
    }
    return hex;
}

std::optional<std::string> EncodeDeliver(const std::string& serviceCentre,
                                         const std::string& sender, const std::string& timestamp,
                                         const std::u16string& text) {
    auto originator = Address(sender);
    auto scts = Timestamp(timestamp);
    std::string dcs;
    auto ud = UserData(text, dcs);
    if (!originator || !scts || !ud) return std::nullopt;
    // First octet 04: SMS-DELIVER, no more messages to send.
    return ServiceCentre(serviceCentre) + "04" + *originator + "00" + dcs + *scts + *ud;
}

std::optional<std::string> EncodeStoredSubmit(const std::string& recipient,
                                              const std::u16string& text) {
    auto destination = Address(recipient);
    std::string dcs;
    auto ud = UserData(text, dcs);
    if (!destination || !ud) return std::nullopt;
    // First octet 11: SMS-SUBMIT with a relative validity period (A7: one day).
    return "00"
           "1100" +
           *destination + "00" + dcs + "A7" + *ud;
}

std::optional<std::vector<std::string>> EncodeDeliverParts(const std::string& serviceCentre,
                                                           const std::string& sender,
                                                           const std::string& timestamp,
                                                           const std::u16string& text,
                                                           int reference) {
    auto originator = Address(sender);
    auto scts = Timestamp(timestamp);
    auto parts = Parts(text, reference);
    if (!originator || !scts || !parts) return std::nullopt;
    std::vector<std::string> out;
    for (const Part& p : *parts) {
        // First octet 04, or 44 with a user-data header.
        out.push_back(ServiceCentre(serviceCentre) + (parts->size() > 1 ? "44" : "04") +
                      *originator + "00" + p.dcs + *scts + p.ud);
    }
    return out;
}

std::optional<std::vector<std::string>> EncodeStoredSubmitParts(const std::string& recipient,
                                                                const std::u16string& text,
                                                                int reference) {
    auto destination = Address(recipient);
    auto parts = Parts(text, reference);
    if (!destination || !parts) return std::nullopt;
    std::vector<std::string> out;
    for (const Part& p : *parts) {
        // First octet 11, or 51 with a user-data header.
        out.push_back(std::string("00") + (parts->size() > 1 ? "51" : "11") + "00" + *destination +
                      "00" + p.dcs + "A7" + p.ud);
    }
    return out;
}

std::optional<Concatenation> ConcatenationOf(const std::string& pduHex) {
    auto parsed = Octets(pduHex);
    if (!parsed) return std::nullopt;
    const std::vector<uint8_t>& o = *parsed;
    size_t pos = 1 + o[0];
    auto at = [&](size_t i) -> int { return i < o.size() ? o[i] : -1; };
    int first = at(pos++);
    if (first < 0 || !(first & 0x40)) return std::nullopt;
    int type = first & 0x03;
    if (type == 1) ++pos;  // message reference
    if (type != 0 && type != 1) return std::nullopt;
    int digits = at(pos);
    if (digits < 0) return std::nullopt;
    pos += 2 + (static_cast<size_t>(digits) + 1) / 2 + 2;  // address, PID, DCS
    if (type == 0) {
        pos += 7;  // time stamp
    } else {
        int vpf = (first >> 3) & 0x03;
        pos += vpf == 2 ? 1 : vpf == 0 ? 0 : 7;
    }
    ++pos;  // user-data length
    int udhl = at(pos++);
    if (udhl < 0) return std::nullopt;
    size_t end = pos + static_cast<size_t>(udhl);
    while (pos + 1 < end) {
        int iei = at(pos);
        int length = at(pos + 1);
        if (length < 0) return std::nullopt;
        // 23.040 9.2.3.24.1 and 9.2.3.24.8.
        if (iei == 0x00 && length == 3 && at(pos + 4) >= 0)
            return Concatenation{at(pos + 2), at(pos + 3), at(pos + 4), false};
        if (iei == 0x08 && length == 4 && at(pos + 5) >= 0)
            return Concatenation{at(pos + 2) << 8 | at(pos + 3), at(pos + 4), at(pos + 5), true};
        pos += 2 + static_cast<size_t>(length);
    }
    return std::nullopt;
}

int TpduLength(const std::string& pduHex) {
    auto octets = Octets(pduHex);
    if (!octets) return -1;
    size_t sca = 1 + (*octets)[0];
    if (sca > octets->size()) return -1;
    return static_cast<int>(octets->size() - sca);
}

std::string CurrentTimestamp() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d,%02d:%02d:%02d+00", utc.tm_year % 100,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

int DeliverClass(const std::string& pduHex) {
    auto octets = Octets(pduHex);
    if (!octets) return -1;
    size_t pos = 1 + (*octets)[0] + 1;  // service centre, first octet
    if (pos >= octets->size()) return -1;
    size_t digits = (*octets)[pos];
    pos += 2 + (digits + 1) / 2 + 1;  // originator, protocol identifier
    if (pos >= octets->size()) return -1;
    uint8_t dcs = (*octets)[pos];
    // General coding with the class bit, or the 1111 group.
    if ((dcs & 0xC0) == 0 && (dcs & 0x10)) return dcs & 0x03;
    if ((dcs & 0xF0) == 0xF0) return dcs & 0x03;
    return -1;
}

bool RequestsStatusReport(const std::string& pduHex) {
    auto octets = Octets(pduHex);
    if (!octets) return false;
    size_t pos = 1 + (*octets)[0];
    return pos < octets->size() && ((*octets)[pos] & 0x20) != 0;
}

std::optional<std::string> EncodeStatusReport(const std::string& serviceCentre, int reference,
                                              const std::string& recipient,
                                              const std::string& submittedAt,
                                              const std::string& dischargedAt, int status) {
    auto address = Address(recipient);
    auto scts = Timestamp(submittedAt);
    auto dt = Timestamp(dischargedAt);
    if (!address || !scts || !dt || reference < 0 || reference > 255 || status < 0 || status > 255)
        return std::nullopt;
    std::string out = ServiceCentre(serviceCentre);
    // First octet 06: SMS-STATUS-REPORT, no more messages to send.
    AppendHex(out, 0x06);
    AppendHex(out, static_cast<uint8_t>(reference));
    out += *address + *scts + *dt;
    AppendHex(out, static_cast<uint8_t>(status));
    return out;
}

std::optional<std::string> ToGsmBytes(const std::u16string& text) {
    auto septets = ToSeptets(text);
    if (!septets) return std::nullopt;
    return std::string(septets->begin(), septets->end());
}

std::optional<std::u16string> FromGsmBytes(const std::string& bytes) {
    std::u16string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        auto b = static_cast<uint8_t>(bytes[i]);
        if (b > 0x7F) return std::nullopt;
        if (b != 0x1B) {
            text += kDefaultAlphabet[b];
            continue;
        }
        if (++i >= bytes.size()) return std::nullopt;
        auto code = static_cast<uint8_t>(bytes[i]);
        const Extension* found = nullptr;
        for (const Extension& e : kExtension) {
            if (e.code == code) found = &e;
        }
        if (!found) return std::nullopt;
        text += found->ch;
    }
    return text;
}

std::string SubmitDestination(const std::string& pduHex) {
    auto octets = Octets(pduHex);
    if (!octets) return {};
    size_t pos = 1 + (*octets)[0] + 2;  // first octet and message reference
    if (pos + 2 > octets->size()) return {};
    size_t digits = (*octets)[pos];
    uint8_t type = (*octets)[pos + 1];
    if ((type & 0x70) == 0x50) return {};  // alphanumeric: not a dialable number
    std::string number = (type & 0x70) == 0x10 ? "+" : "";
    static const char kDigits[] = "0123456789*#abc";
    for (size_t i = 0; i < digits; ++i) {
        size_t at = pos + 2 + i / 2;
        if (at >= octets->size()) return {};
        uint8_t nibble = (i % 2) ? ((*octets)[at] >> 4) : ((*octets)[at] & 0x0F);
        if (nibble > 14) return {};
        number += kDigits[nibble];
    }
    return number;
}

}  // namespace telvane::modemsim

namespace telvane::modemsim {
namespace {

// Reads octets without ever passing the end; a short PDU gives zeros.
struct Cursor {
    const std::vector<uint8_t>& octets;
    size_t pos = 0;
    uint8_t Next() { return pos < octets.size() ? octets[pos++] : (pos++, 0); }
};

std::string SeptetsToUtf8(const std::vector<uint8_t>& septets) {
    std::u16string text;
    for (size_t i = 0; i < septets.size(); ++i) {
        if (septets[i] == 0x1B && i + 1 < septets.size()) {
            uint8_t code = septets[++i];
            char16_t ch = u' ';
            for (const Extension& e : kExtension) {
                if (e.code == code) ch = e.ch;
            }
            text += ch;
        } else {
            text += kDefaultAlphabet[septets[i] & 0x7F];
        }
    }
    return U16ToUtf8(text);
}

std::string ReadAddress(Cursor& in) {
    size_t digits = in.Next();
    uint8_t type = in.Next();
    size_t octets = (digits + 1) / 2;
    if ((type & 0x70) == 0x50) {
        std::vector<uint8_t> packed;
        for (size_t i = 0; i < octets; ++i)
            packed.push_back(in.Next());
        std::vector<uint8_t> septets;
        for (size_t i = 0; i < digits * 4 / 7; ++i) {
            size_t bit = i * 7;
            unsigned v = packed[bit / 8] >> (bit % 8);
            if (bit / 8 + 1 < packed.size()) v |= packed[bit / 8 + 1] << (8 - bit % 8);
            septets.push_back(static_cast<uint8_t>(v & 0x7F));
        }
        return SeptetsToUtf8(septets);
    }
    std::string number = (type & 0x70) == 0x10 ? "+" : "";
    static const char kDigits[] = "0123456789*#abc?";
    for (size_t i = 0; i < octets; ++i) {
        uint8_t o = in.Next();
        number += kDigits[o & 0x0F];
        if (i * 2 + 1 < digits) number += kDigits[o >> 4];
    }
    return number;
}

}  // namespace

DecodedMessage DecodeForTextMode(const std::string& pduHex) {
    DecodedMessage d;
    auto parsed = Octets(pduHex);
    if (!parsed) return d;
    const std::vector<uint8_t>& octets = *parsed;
    Cursor in{octets};
    in.pos = 1 + in.Next();
    uint8_t first = in.Next();
    bool submit = (first & 0x03) == 0x01;
    if (submit) in.Next();  // message reference
    d.number = ReadAddress(in);
    in.Next();  // protocol identifier
    uint8_t dcs = in.Next();
    if (submit) {
        uint8_t vpf = (first >> 3) & 0x03;
        in.pos += vpf == 2 ? 1 : vpf == 0 ? 0 : 7;
    } else {
        uint8_t ts[7];
        for (uint8_t& o : ts)
            o = in.Next();
        char text[32];
        auto bcd = [](uint8_t o) { return (o & 0x0F) * 10 + (o >> 4); };
        int zone = bcd(ts[6] & 0xF7);
        std::snprintf(text, sizeof text, "%02d/%02d/%02d,%02d:%02d:%02d%c%02d", bcd(ts[0]),
                      bcd(ts[1]), bcd(ts[2]), bcd(ts[3]), bcd(ts[4]), bcd(ts[5]),
                      (ts[6] & 0x08) ? '-' : '+', zone);
        d.time = text;
    }
    size_t length = in.Next();
    size_t start = in.pos;
    size_t headerOctets = 0;
    if ((first & 0x40) && start < octets.size()) headerOctets = 1 + octets[start];
    bool ucs2 = (dcs & 0xC0) == 0 ? ((dcs >> 2) & 3) == 2 : (dcs & 0xF0) == 0xE0;
    bool eightBit = (dcs & 0xC0) == 0 ? ((dcs >> 2) & 3) == 1 : (dcs & 0xF4) == 0xF4;
    if (ucs2 || eightBit) {
        std::u16string text;
        std::string hex;
        for (size_t i = headerOctets; i < length && start + i < octets.size(); ++i) {
            if (eightBit) {
                AppendHex(hex, octets[start + i]);
            } else if (i + 1 < length && start + i + 1 < octets.size()) {
                text += static_cast<char16_t>(octets[start + i] << 8 | octets[start + i + 1]);
                ++i;
            }
        }
        if (eightBit) {
            d.text = hex;
        } else {
            d.text = U16ToUtf8(text);
        }
        return d;
    }
    std::vector<uint8_t> septets;
    size_t skip = (headerOctets * 8 + 6) / 7;
    for (size_t i = 0; i < length && start + i * 7 / 8 < octets.size(); ++i) {
        size_t bit = i * 7;
        size_t at = start + bit / 8;
        unsigned v = at < octets.size() ? octets[at] >> (bit % 8) : 0;
        if (bit % 8 > 1 && at + 1 < octets.size()) v |= octets[at + 1] << (8 - bit % 8);
        if (i >= skip) septets.push_back(static_cast<uint8_t>(v & 0x7F));
    }
    d.text = SeptetsToUtf8(septets);
    return d;
}

}  // namespace telvane::modemsim
