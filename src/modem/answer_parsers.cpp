#include "modem/answer_parsers.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "codec/pdu_codec.h"
#include "codec/response_parsers.h"
#include "platform/text.h"

namespace telvane {
namespace {

constexpr std::u16string_view kStatusNames[] = {u"REC UNREAD", u"REC READ", u"STO UNSENT",
                                                u"STO SENT"};
// 27.005 3.1: <index> is an integer in the range of the memory's locations.
constexpr int32_t kMaxMessageIndex = 65535;
// No display shows more of a bad line than this.
constexpr size_t kQuotedLineLength = 60;

// Every non-blank line of the answer, CR and LF both ending a line.  The echo of the command,
// which a modem left echoing may put in front of its answer, is no line of the answer.
std::vector<std::string_view> AnswerLines(const std::vector<std::string>& lines) {
    std::vector<std::string_view> out;
    for (const std::string& text : lines) {
        const std::string_view all(text);
        size_t start = 0;
        while (start < all.size()) {
            size_t end = all.find_first_of("\r\n", start);
            if (end == std::string_view::npos) end = all.size();
            std::string_view line = all.substr(start, end - start);
            while (!line.empty() && line.back() == ' ')
                line.remove_suffix(1);
            const bool echo = line.size() >= 2 && (line[0] == 'A' || line[0] == 'a') &&
                              (line[1] == 'T' || line[1] == 't');
            if (!line.empty() && !echo) out.push_back(line);
            start = end + 1;
        }
    }
    return out;
}

// A line as the reason quotes it: control bytes shown as \xNN, cut when long.
std::string Quote(std::string_view line) {
    std::string out = "'";
    for (size_t i = 0; i < line.size() && i < kQuotedLineLength; ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c >= 0x7F) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    if (line.size() > kQuotedLineLength) out += "...";
    return out + "'";
}

bool HasControlByte(std::string_view line) {
    for (char c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
    return false;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

// A field of decimal digits alone, at most `limit`; nothing otherwise.
std::optional<int32_t> Number(std::string_view field, int32_t limit) {
    field = Trim(field);
    if (field.empty() || field.size() > 10) return std::nullopt;
    int64_t value = 0;
    for (char c : field) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value > limit) return std::nullopt;
    return static_cast<int32_t>(value);
}

// The fields of a line after its "+XXXX:" prefix, split at the commas outside double quotes;
// nothing when a quote is left open.
std::optional<std::vector<std::string_view>> Fields(std::string_view line, size_t prefixLength) {
    std::vector<std::string_view> fields;
    const std::string_view rest = line.substr(prefixLength);
    size_t start = 0;
    bool quoted = false;
    for (size_t i = 0; i <= rest.size(); ++i) {
        if (i < rest.size() && rest[i] == '"') quoted = !quoted;
        if (i == rest.size() || (rest[i] == ',' && !quoted)) {
            fields.push_back(rest.substr(start, i - start));
            start = i + 1;
        }
    }
    if (quoted) return std::nullopt;
    return fields;
}

// The text between the quotes of a field that is one quoted string; nothing otherwise.
std::optional<std::string_view> Unquote(std::string_view field) {
    field = Trim(field);
    if (field.size() < 2 || field.front() != '"' || field.back() != '"') return std::nullopt;
    field = field.substr(1, field.size() - 2);
    if (field.find('"') != std::string_view::npos) return std::nullopt;
    return field;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Reads octets and never past the end: a read beyond it marks the whole walk short.
class OctetReader {
  public:
    explicit OctetReader(std::vector<uint8_t> octets) : octets_(std::move(octets)) {}
    uint8_t Next() {
        if (at_ >= octets_.size()) {
            short_ = true;
            return 0;
        }
        return octets_[at_++];
    }
    void Skip(size_t count) {
        if (count > octets_.size() - at_) {
            short_ = true;
            at_ = octets_.size();
            return;
        }
        at_ += count;
    }
    size_t Remaining() const { return octets_.size() - at_; }
    bool Short() const { return short_; }

  private:
    std::vector<uint8_t> octets_;
    size_t at_ = 0;
    bool short_ = false;
};

// 3GPP TS 23.038 4: the octets `length` units of user data take in the scheme `dcs`.
size_t UserDataOctets(uint8_t dcs, uint8_t length) {
    const uint8_t group = dcs >> 4;
    bool septets = true;
    if (group <= 0x7)
        septets = (dcs & 0x20) == 0 && ((dcs >> 2) & 3) != 1 && ((dcs >> 2) & 3) != 2;
    else if (group == 0xE)
        septets = false;
    else if (group == 0xF)
        septets = (dcs & 0x04) == 0;
    return septets ? (length * 7u + 7u) / 8u : length;
}

// Why the PDU does not hold what its fields announce (3GPP TS 23.040 9.2.2), or nothing.
std::optional<std::string> PduFault(std::string_view hex, int32_t tpduLength) {
    if (hex.size() % 2 != 0) return "an odd number of hex digits";
    std::vector<uint8_t> octets(hex.size() / 2);
    for (size_t i = 0; i < octets.size(); ++i) {
        const int hi = HexDigit(hex[2 * i]), lo = HexDigit(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) return "a character that is no hex digit";
        octets[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    if (octets.empty()) return "no octets";
    const size_t centre = octets[0];
    if (centre > 11 || centre + 1 > octets.size()) return "a service-centre field out of bounds";
    const size_t tpdu = octets.size() - 1 - centre;
    if (static_cast<int64_t>(tpdu) != tpduLength)
        return "a TPDU of " + std::to_string(tpdu) + " octets where the header says " +
               std::to_string(tpduLength);
    OctetReader in(std::move(octets));
    in.Skip(1 + centre);
    const uint8_t first = in.Next();
    const auto address = [&in] {
        const uint8_t digits = in.Next();
        in.Next();  // type of address
        in.Skip((digits + 1u) / 2);
        return digits <= 20;
    };
    uint8_t dcs = 0;
    switch (first & 0x03) {
        case 1:  // SMS-SUBMIT, as stored outgoing messages are
            in.Next();
            if (!address()) return "an address longer than 20 digits";
            in.Next();
            dcs = in.Next();
            in.Skip(std::array<size_t, 4>{0, 7, 1, 7}[(first >> 3) & 3]);
            break;
        case 2:  // SMS-STATUS-REPORT: no user data to check
            in.Next();
            if (!address()) return "an address longer than 20 digits";
            in.Skip(7 + 7 + 1);
            return in.Short() ? std::optional<std::string>("fields past its end") : std::nullopt;
        default:  // SMS-DELIVER
            if (!address()) return "an address longer than 20 digits";
            in.Next();
            dcs = in.Next();
            in.Skip(7);
            break;
    }
    const uint8_t length = in.Next();
    if (in.Short()) return "fields past its end";
    const size_t userData = UserDataOctets(dcs, length);
    if (userData > in.Remaining()) return "user data past its end";
    if (userData < in.Remaining()) return "octets after its user data";
    if ((first & 0x40) && userData > 0) {
        const uint8_t header = in.Next();
        if (header + 1u > userData) return "a user-data header past the user data";
    }
    return std::nullopt;
}

// The PDU of one entry, from one line or more: a modem's own line (taken out before) may have
// cut it in two, and the lengths in the PDU and its header tell where it ends.
class PduLines {
  public:
    // Takes `line` as (more of) the PDU: true while the PDU is not yet as long as its first
    // octet and `tpduLength` say, and the line was hex; false when it is complete or the line is
    // no continuation (then the PDU is judged as it stands).
    bool Add(std::string_view line, int32_t tpduLength) {
        if (!hex_.empty()) {
            if (line.find_first_not_of("0123456789ABCDEFabcdef") != std::string_view::npos)
                return false;
        }
        hex_.append(line);
        if (hex_.size() < 2) return true;
        const int hi = HexDigit(hex_[0]), lo = HexDigit(hex_[1]);
        if (hi < 0 || lo < 0) return false;
        const size_t whole = 2 * (1 + static_cast<size_t>(hi * 16 + lo) + tpduLength);
        return hex_.size() < whole &&
               hex_.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
    }
    bool Empty() const { return hex_.empty(); }
    std::string_view Hex() const { return hex_; }
    void Clear() { hex_.clear(); }

  private:
    std::string hex_;
};

struct Header {
    int32_t stat = -1;
    int32_t length = -1;
};

// "+CMGL: index,stat,[alpha],length" after its prefix is cut: stat, [alpha], length.  Some
// modems leave the alpha field out altogether.
std::optional<Header> MessageHeader(const std::vector<std::string_view>& fields) {
    if (fields.size() != 2 && fields.size() != 3) return std::nullopt;
    Header header;
    const std::optional<int32_t> stat = Number(fields[0], 3);
    const std::optional<int32_t> length = Number(fields.back(), 255);
    if (!stat || !length || *length < 1) return std::nullopt;
    if (fields.size() == 3 && !Trim(fields[1]).empty() && !Unquote(fields[1])) return std::nullopt;
    header.stat = *stat;
    header.length = *length;
    return header;
}

// The PDU line after a header: the part it decodes to, or why not.
std::optional<std::string> ReadPdu(std::string_view line, const Header& header, int32_t index,
                                   SmsPart& part) {
    if (std::optional<std::string> fault = PduFault(line, header.length))
        return "a PDU with " + *fault + ": " + Quote(line);
    const DecodedPdu decoded = PduCodec().DecodePdu(Widen(line));
    ClearSmsRecord(part.record);
    part.record.index = index;
    part.record.status = std::u16string(kStatusNames[header.stat]);
    part.record.number = decoded.number;
    part.record.time = decoded.time;
    part.record.text = decoded.text;
    ExpandLineBreaks(part.record.text);
    part.concat = decoded.concat;
    return std::nullopt;
}

constexpr std::string_view kListingFault = "the modem's listing has a malformed line: ";
constexpr std::string_view kReadFault = "the modem's message has a malformed line: ";
constexpr std::string_view kPhonebookFault = "the modem's phonebook has a malformed line: ";

}  // namespace

ParsedAnswer<std::vector<SmsPart>> ParseListingAnswer(const std::vector<std::string>& lines) {
    constexpr std::string_view kPrefix = "+CMGL:";
    ParsedAnswer<std::vector<SmsPart>> out;
    const auto fail = [&out](std::string reason) {
        out.data.clear();
        out.failure = std::string(kListingFault) + reason;
        return out;
    };
    std::optional<Header> pending;
    int32_t pendingIndex = -1;
    std::string_view pendingLine;
    PduLines pdu;
    const auto finish = [&]() -> std::optional<std::string> {
        if (pdu.Empty()) return "an entry without its PDU line: " + Quote(pendingLine);
        SmsPart part;
        if (std::optional<std::string> fault = ReadPdu(pdu.Hex(), *pending, pendingIndex, part))
            return fault;
        out.data.push_back(std::move(part));
        pending.reset();
        pdu.Clear();
        return std::nullopt;
    };
    for (std::string_view line : AnswerLines(lines)) {
        if (HasControlByte(line)) return fail("a control byte in " + Quote(line));
        if (line.starts_with(kPrefix)) {
            if (pending) {
                if (std::optional<std::string> fault = finish()) return fail(*fault);
            }
            const auto fields = Fields(line, kPrefix.size());
            if (!fields || fields->size() < 3) return fail(Quote(line));
            const std::optional<int32_t> index = Number((*fields)[0], kMaxMessageIndex);
            if (!index) return fail("an index that is none or out of range: " + Quote(line));
            pending = MessageHeader(std::vector(fields->begin() + 1, fields->end()));
            if (!pending) return fail(Quote(line));
            pendingIndex = *index;
            pendingLine = line;
            continue;
        }
        if (!pending) return fail(Quote(line));
        if (pdu.Add(line, pending->length)) continue;
        if (std::optional<std::string> fault = finish()) return fail(*fault);
    }
    if (pending) {
        if (std::optional<std::string> fault = finish()) return fail(*fault);
    }
    return out;
}

ParsedAnswer<SmsPart> ParseReadAnswer(const std::vector<std::string>& lines, int32_t index) {
    constexpr std::string_view kPrefix = "+CMGR:";
    ParsedAnswer<SmsPart> out;
    const auto fail = [&out](std::string reason) {
        out.data = SmsPart{};
        out.failure = std::string(kReadFault) + reason;
        return out;
    };
    std::optional<Header> header;
    std::string_view headerLine;
    PduLines pdu;
    bool read = false;
    for (std::string_view line : AnswerLines(lines)) {
        if (HasControlByte(line)) return fail("a control byte in " + Quote(line));
        if (read) return fail("a line after the message: " + Quote(line));
        if (!header) {
            if (!line.starts_with(kPrefix)) return fail(Quote(line));
            const auto fields = Fields(line, kPrefix.size());
            if (fields) header = MessageHeader(*fields);
            if (!header) return fail(Quote(line));
            headerLine = line;
            continue;
        }
        if (pdu.Add(line, header->length)) continue;
        if (std::optional<std::string> fault = ReadPdu(pdu.Hex(), *header, index, out.data))
            return fail(*fault);
        read = true;
    }
    if (!header) {
        out.failure = "the modem gave no message";
        return out;
    }
    if (!read && pdu.Empty()) return fail("a message without its PDU line: " + Quote(headerLine));
    if (!read) {
        if (std::optional<std::string> fault = ReadPdu(pdu.Hex(), *header, index, out.data))
            return fail(*fault);
    }
    return out;
}

ParsedAnswer<std::vector<PhonebookEntry>> ParsePhonebookAnswer(
    const std::vector<std::string>& lines, int32_t first, int32_t last, PhonebookCharset set) {
    constexpr std::string_view kPrefix = "+CPBR:";
    ParsedAnswer<std::vector<PhonebookEntry>> out;
    const auto fail = [&out](std::string reason) {
        out.data.clear();
        out.failure = std::string(kPhonebookFault) + reason;
        return out;
    };
    for (std::string_view line : AnswerLines(lines)) {
        if (HasControlByte(line)) return fail("a control byte in " + Quote(line));
        if (!line.starts_with(kPrefix)) return fail(Quote(line));
        // index,"number",type,"text"; some modems add fields behind the text (hidden, group).
        const auto fields = Fields(line, kPrefix.size());
        if (!fields || fields->size() < 4) return fail(Quote(line));
        const std::optional<int32_t> index = Number((*fields)[0], kMaxPhonebookCapacity);
        const std::optional<std::string_view> number = Unquote((*fields)[1]);
        const std::optional<int32_t> type = Number((*fields)[2], 255);
        const std::optional<std::string_view> name = Unquote((*fields)[3]);
        if (!index || !number || !type || !name) return fail(Quote(line));
        if (*index < first || *index > last)
            return fail("index " + std::to_string(*index) + " outside the range asked (" +
                        std::to_string(first) + "-" + std::to_string(last) + "): " + Quote(line));
        PhonebookEntry entry;
        entry.index = *index;
        // Some modems already print the '+' of an international number.
        if (*type == 145 && (number->empty() || number->front() != '+')) entry.number = u"+";
        entry.number += Widen(*number);
        const std::optional<std::u16string> decoded = DecodePhonebookName(*name, set);
        entry.name = decoded ? *decoded : Widen(*name);
        out.data.push_back(std::move(entry));
    }
    return out;
}

ParsedAnswer<PhonebookLimits> ParsePhonebookRangeAnswer(const std::vector<std::string>& lines) {
    constexpr std::string_view kPrefix = "+CPBR:";
    ParsedAnswer<PhonebookLimits> out;
    std::optional<std::string_view> found;
    for (std::string_view line : AnswerLines(lines)) {
        if (!line.starts_with(kPrefix)) continue;
        found = line;
        break;
    }
    if (!found) {
        out.failure = "the modem did not give the phonebook's size";
        return out;
    }
    const std::string_view line = *found;
    const auto unknown = [&out, line] {
        out.failure = "the phonebook's size came in an unknown form: " + Quote(line);
        return out;
    };
    // "(first-last),numberLimit,textLimit"; a single position may come as "(1)".
    const std::string_view rest = Trim(line.substr(kPrefix.size()));
    if (rest.empty() || rest.front() != '(') return unknown();
    const size_t close = rest.find(')');
    if (close == std::string_view::npos) return unknown();
    const std::string_view range = rest.substr(1, close - 1);
    const size_t dash = range.find('-');
    const std::optional<int32_t> low = Number(range.substr(0, dash), INT32_MAX);
    const std::optional<int32_t> high =
        Number(dash == std::string_view::npos ? range : range.substr(dash + 1), INT32_MAX);
    const std::string_view limits = rest.substr(close + 1);
    if (!limits.starts_with(",")) return unknown();
    const auto fields = Fields(limits, 1);
    if (!low || !high || *low > *high || !fields || fields->size() < 2) return unknown();
    const std::optional<int32_t> numberLimit = Number((*fields)[0], INT32_MAX);
    const std::optional<int32_t> textLimit = Number((*fields)[1], INT32_MAX);
    if (!numberLimit || !textLimit) return unknown();
    if (*high > kMaxPhonebookCapacity) {
        out.failure = "the SIM phonebook claims " + std::to_string(*high) +
                      " positions, more than the " + std::to_string(kMaxPhonebookCapacity) +
                      " any SIM has: " + Quote(line);
        return out;
    }
    out.data = PhonebookLimits{*numberLimit, *textLimit, *high};
    return out;
}

}  // namespace telvane
