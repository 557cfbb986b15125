#include "history/gammu_backup.h"

#include <cstdint>
#include <map>
#include <optional>

#include "codec/gsm_alphabet.h"
#include "codec/message_joiner.h"
#include "codec/pdu_codec.h"
#include "history/history_keys.h"
#include "platform/text.h"

namespace telvane {
namespace {

// gammu's part sizes: 153 septets or 67 UCS-2 units beside an 8-bit concatenation header.
constexpr size_t kBackupLineHex = 200;

using Section = std::map<std::string, std::string>;

std::string Lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::string> HexToBytes(std::string_view hex) {
    if (hex.size() % 2 != 0) return std::nullopt;
    std::string out;
    out.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int a = HexDigit(hex[i]);
        const int b = HexDigit(hex[i + 1]);
        if (a < 0 || b < 0) return std::nullopt;
        out += static_cast<char>(a * 16 + b);
    }
    return out;
}

// gammu's Unicode: UCS-2 (UTF-16) big-endian.
std::optional<std::u16string> Ucs2Hex(std::string_view hex) {
    if (hex.size() % 4 != 0) return std::nullopt;
    auto bytes = HexToBytes(hex);
    if (!bytes) return std::nullopt;
    std::u16string out;
    for (size_t i = 0; i + 1 < bytes->size(); i += 2) {
        const auto hi = static_cast<unsigned char>((*bytes)[i]);
        const auto lo = static_cast<unsigned char>((*bytes)[i + 1]);
        out += static_cast<char16_t>(hi << 8 | lo);
    }
    // gammu ends some strings with a NUL unit.
    while (!out.empty() && out.back() == 0)
        out.pop_back();
    return out;
}

std::string ToUcs2Hex(std::u16string_view text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 4);
    for (char16_t c : text)
        for (int shift = 12; shift >= 0; shift -= 4)
            out += kDigits[(c >> shift) & 15];
    return out;
}

// A quoted value with gammu's escapes (\n, \r, \\, \") undone.
std::u16string Unquote(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    std::string out;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            const char next = value[++i];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            out += value[i];
        }
    }
    return Utf8ToU16(out);
}

std::string Quote(std::u16string_view text) {
    std::string out = "\"";
    for (char c : U16ToUtf8(text)) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\\' || c == '"')
            (out += '\\') += c;
        else
            out += c;
    }
    return out + "\"";
}

// "Number" from NumberUnicode when it is there and reads, else from the quoted value.
std::u16string TextField(const Section& s, const std::string& name) {
    if (auto it = s.find(Lower(name + "Unicode")); it != s.end())
        if (auto text = Ucs2Hex(it->second)) return *text;
    if (auto it = s.find(Lower(name)); it != s.end()) return Unquote(it->second);
    return {};
}

// 20261211T060708 (a trailing Z or zone is ignored) -> yy/MM/dd,hh:mm:ss.
std::u16string BackupTime(std::string_view v) {
    if (v.size() < 15 || v[8] != 'T') return {};
    for (size_t i = 0; i < 15; ++i)
        if (i != 8 && HexDigit(v[i]) < 0) return {};
    std::string s;
    s += v.substr(2, 2);
    s += '/';
    s += v.substr(4, 2);
    s += '/';
    s += v.substr(6, 2);
    s += ',';
    s += v.substr(9, 2);
    s += ':';
    s += v.substr(11, 2);
    s += ':';
    s += v.substr(13, 2);
    std::u16string text = Widen(s);
    return HistoryTime(text) ? text : std::u16string();
}

std::string BackupTime(std::u16string_view timeText) {
    auto seconds = HistoryTime(timeText);
    if (!seconds) return {};
    const std::string t = Narrow(HistoryTimeText(*seconds));
    // yy/MM/dd,hh:mm:ss
    return "20" + t.substr(0, 2) + t.substr(3, 2) + t.substr(6, 2) + "T" + t.substr(9, 2) +
           t.substr(12, 2) + t.substr(15, 2);
}

// The concatenation element of a user-data header (3GPP TS 23.040 9.2.3.24.1, 9.2.3.24.8).
std::optional<ConcatInfo> ConcatOf(std::string_view udhHex) {
    auto bytes = HexToBytes(udhHex);
    if (!bytes || bytes->empty()) return std::nullopt;
    const auto at = [&](size_t i) { return static_cast<unsigned char>((*bytes)[i]); };
    const size_t end = std::min<size_t>(bytes->size(), 1 + size_t{at(0)});
    for (size_t i = 1; i + 1 < end;) {
        const unsigned iei = at(i);
        const size_t len = at(i + 1);
        if (i + 2 + len > end) break;
        if (iei == 0x00 && len == 3) {
            ConcatInfo c{static_cast<int32_t>(at(i + 2)), 8, at(i + 3), at(i + 4)};
            if (c.total >= 1 && c.sequence >= 1 && c.sequence <= c.total) return c;
        }
        if (iei == 0x08 && len == 4) {
            ConcatInfo c{static_cast<int32_t>(at(i + 2) << 8 | at(i + 3)), 16, at(i + 4),
                         at(i + 5)};
            if (c.total >= 1 && c.sequence >= 1 && c.sequence <= c.total) return c;
        }
        i += 2 + len;
    }
    return std::nullopt;
}

std::vector<Section> Sections(std::string_view bytes) {
    std::vector<Section> sections;
    bool inBackup = false;
    while (!bytes.empty()) {
        const size_t eol = bytes.find('\n');
        std::string_view line = Trim(bytes.substr(0, eol));
        bytes = eol == std::string_view::npos ? std::string_view() : bytes.substr(eol + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            const std::string name =
                Lower(line.substr(1, close == std::string_view::npos ? 0 : close - 1));
            inBackup = name.rfind("smsbackup", 0) == 0;
            if (inBackup) sections.emplace_back();
            continue;
        }
        if (!inBackup) continue;
        const size_t eq = line.find('=');
        if (eq == std::string_view::npos) continue;
        sections.back()[Lower(Trim(line.substr(0, eq)))] = std::string(Trim(line.substr(eq + 1)));
    }
    return sections;
}

std::string Field(const Section& s, const char* name) {
    auto it = s.find(name);
    return it == s.end() ? std::string() : it->second;
}

// The parts of `text` as gammu sends them: whole when it fits one message, otherwise 153 septets
// (an extension character never cut) or 67 UTF-16 units (a surrogate pair never cut).
std::vector<std::u16string> SplitParts(std::u16string_view text, bool ucs2) {
    const size_t single = ucs2 ? kMaxUcs2Units : kMaxSeptets;
    const size_t part = ucs2 ? kPartUcs2Units : kPartSeptets;
    auto units = [&](char16_t c) -> size_t {
        if (ucs2) return 1;
        uint8_t septets[2];
        const int n = GsmEncodeChar(c, septets);
        return n > 0 ? static_cast<size_t>(n) : 1;
    };
    size_t total = 0;
    for (char16_t c : text)
        total += units(c);
    if (total <= single) return {std::u16string(text)};
    std::vector<std::u16string> parts;
    std::u16string current;
    size_t used = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t need = units(text[i]);
        const bool pair = ucs2 && text[i] >= 0xD800 && text[i] < 0xDC00 && i + 1 < text.size();
        if (pair) need = 2;
        if (used + need > part) {
            parts.push_back(current);
            current.clear();
            used = 0;
        }
        current += text[i];
        if (pair) current += text[++i];
        used += need;
    }
    parts.push_back(current);
    return parts;
}

}  // namespace

std::vector<HistoryMessage> ReadGammuBackup(std::string_view bytes, int* skipped) {
    int bad = 0;
    struct Read {
        SmsPart part;
        HistoryDirection direction;
        std::u16string name;
        std::u16string smsc;
        bool unread;
    };
    std::vector<Read> reads;
    for (const Section& s : Sections(bytes)) {
        const std::u16string number = TextField(s, "Number");
        if (s.find("number") == s.end() && s.find("numberunicode") == s.end()) continue;
        const std::string pdu = Lower(Field(s, "pdu"));
        if (pdu == "status_report") continue;
        std::u16string time = BackupTime(Field(s, "datetime"));
        if (time.empty()) time = BackupTime(Field(s, "sent"));
        const bool deliver = pdu == "deliver" || (pdu.empty() && !time.empty());
        const std::string coding = Lower(Field(s, "coding"));
        std::string hex;
        for (int i = 0; i < 100; ++i) {
            char key[8];
            std::snprintf(key, sizeof key, "text%02d", i);
            auto it = s.find(key);
            if (it == s.end()) break;
            hex += it->second;
        }
        std::u16string text;
        if (coding == "8bit") {
            if (!HexToBytes(hex)) {
                ++bad;
                continue;
            }
            text = Widen(hex);  // binary data stays hex, as the folders show it
        } else if (auto decoded = Ucs2Hex(hex)) {
            text = *decoded;
        } else {
            ++bad;
            continue;
        }
        const std::string state = Lower(Field(s, "state"));
        Read r;
        r.direction = deliver ? HistoryDirection::kIn : HistoryDirection::kOut;
        r.part.record.number = number;
        r.part.record.time = time;
        r.part.record.text = text;
        r.part.record.status = deliver ? (state == "read" ? u"REC READ" : u"REC UNREAD")
                                       : (state == "unsent" ? u"STO UNSENT" : u"STO SENT");
        r.part.concat = ConcatOf(Field(s, "udh"));
        r.name = TextField(s, "Name");
        r.smsc = TextField(s, "SMSC");
        r.unread = deliver && state == "unread";
        reads.push_back(std::move(r));
    }
    std::vector<SmsPart> parts;
    parts.reserve(reads.size());
    for (size_t i = 0; i < reads.size(); ++i) {
        parts.push_back(reads[i].part);
        parts.back().record.index = static_cast<int32_t>(i);  // to find the part's section again
    }
    std::vector<HistoryMessage> out;
    for (const JoinedMessage& joined : JoinParts(parts)) {
        const auto first = static_cast<size_t>(joined.indexes.empty() ? 0 : joined.indexes.front());
        if (first >= reads.size()) continue;
        const Read& r = reads[first];
        HistoryMessage m;
        m.number = joined.record.number;
        m.name = r.name;
        m.direction = r.direction;
        m.timeText = joined.record.time;
        m.time = HistoryTime(m.timeText).value_or(0);
        m.text = joined.record.text;
        m.store = u"import";
        m.smsc = r.smsc;
        m.unread = joined.record.status == u"REC UNREAD";
        const int32_t ref = joined.concat ? joined.concat->reference : 0;
        const int32_t total = joined.concat ? joined.concat->total : 0;
        m.key = MessageKey(m.direction, m.number, m.timeText, m.text, ref, total);
        out.push_back(std::move(m));
    }
    if (skipped != nullptr) *skipped = bad;
    return out;
}

std::string WriteGammuBackup(const std::vector<HistoryMessage>& messages, std::u16string_view smsc,
                             int* withoutSmsc) {
    int missing = 0;
    std::string out;
    out += "; This file format was designed for Gammu and is compatible with Gammu+\r\n";
    out += "; Written by telvane-tool from the message history\r\n\r\n";
    int section = 0;
    int reference = 0;
    for (const HistoryMessage& m : messages) {
        const bool ucs2 = MeasureText(m.text).coding == TextCoding::kUcs2;
        const std::vector<std::u16string> parts = SplitParts(m.text, ucs2);
        reference = (reference + 1) & 0xFF;
        const bool in = m.direction == HistoryDirection::kIn;
        for (size_t p = 0; p < parts.size(); ++p) {
            char name[32];
            std::snprintf(name, sizeof name, "[SMSBackup%03d]\r\n", section++);
            out += name;
            if (in) {
                // gammu writes a received message to the SIM only with a centre's number.
                const std::u16string centre = m.smsc.empty() ? std::u16string(smsc) : m.smsc;
                if (centre.empty() && p == 0) ++missing;
                out += "SMSC = " + Quote(centre) + "\r\nSMSCUnicode = " + ToUcs2Hex(centre) +
                       "\r\nPDU = Deliver\r\n";
            } else {
                out += "PDU = Submit\r\n";
            }
            const std::string when = BackupTime(m.timeText);
            if (!when.empty()) out += "DateTime = " + when + "\r\n";
            out += std::string("State = ") +
                   (in ? (m.unread ? "UnRead" : "Read")
                       : (m.delivery.empty() && m.store == u"outbox" ? "UnSent" : "Sent")) +
                   "\r\n";
            out += "Number = " + Quote(m.number) + "\r\n";
            out += "NumberUnicode = " + ToUcs2Hex(m.number) + "\r\n";
            out += "Name = " + Quote(m.name) + "\r\n";
            out += "NameUnicode = " + ToUcs2Hex(m.name) + "\r\n";
            if (parts.size() > 1) {
                char udh[32];
                std::snprintf(udh, sizeof udh, "UDH = 050003%02X%02X%02X\r\n", reference,
                              static_cast<unsigned>(parts.size()), static_cast<unsigned>(p + 1));
                out += udh;
            }
            const std::string hex = ToUcs2Hex(parts[p]);
            for (size_t at = 0, line = 0; at < hex.size() || line == 0;
                 at += kBackupLineHex, ++line) {
                char key[16];
                std::snprintf(key, sizeof key, "Text%02zu = ", line);
                out += key + hex.substr(std::min(at, hex.size()), kBackupLineHex) + "\r\n";
            }
            out += ucs2 ? "Coding = Unicode_No_Compression\r\n"
                        : "Coding = Default_No_Compression\r\n";
            out += in ? "Folder = 1\r\n" : "Folder = 2\r\n";
            out += "Length = " + std::to_string(parts[p].size()) + "\r\n";
            out +=
                "Class = -1\r\nReplySMSC = False\r\nRejectDuplicates = False\r\n"
                "ReplaceMessage = 0\r\nMessageReference = 0\r\n\r\n";
        }
    }
    if (withoutSmsc != nullptr) *withoutSmsc = missing;
    return out;
}

}  // namespace telvane
