#include "codec/pdu_codec.h"

#include <array>

#include "codec/gsm_alphabet.h"
#include "platform/text.h"

namespace telvane {

namespace {

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

void AppendOctet(std::u16string& out, uint32_t octet) {
    out.push_back(kHexDigits[(octet >> 4) & 0xF]);
    out.push_back(kHexDigits[octet & 0xF]);
}

constexpr std::array<int8_t, 128> MakeHexValues() {
    std::array<int8_t, 128> values{};
    for (auto& v : values)
        v = -1;
    for (int c = '0'; c <= '9'; ++c)
        values[c] = static_cast<int8_t>(c - '0');
    for (int c = 'A'; c <= 'F'; ++c)
        values[c] = static_cast<int8_t>(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c)
        values[c] = static_cast<int8_t>(c - 'a' + 10);
    return values;
}
constexpr std::array<int8_t, 128> kHexValues = MakeHexValues();

int HexValue(char16_t c) {
    return c < 128 ? kHexValues[c] : -1;
}

// Longest PDU is 12 octets of service centre and 164 of TPDU; the rest of a longer input is junk
// that no field can reach.
constexpr size_t kMaxOctets = 512;

struct Octets {
    std::array<uint8_t, kMaxOctets> data;
    size_t size = 0;
};

// Converts hex pairs up to the first pair that is not hex.
void HexToOctets(std::u16string_view hex, Octets& out) {
    size_t n = hex.size() / 2;
    if (n > kMaxOctets) n = kMaxOctets;
    out.size = 0;
    for (size_t i = 0; i < n; ++i) {
        int hi = HexValue(hex[2 * i]);
        int lo = HexValue(hex[2 * i + 1]);
        if (hi < 0 || lo < 0) break;
        out.data[out.size++] = static_cast<uint8_t>(hi << 4 | lo);
    }
}

// A read cursor that cannot pass the end: reads past it give 0 and take nothing.
class Cursor {
  public:
    Cursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t Next() { return pos_ < size_ ? data_[pos_++] : 0; }
    // Takes up to `count` octets; returns how many were there.
    size_t Take(size_t count, const uint8_t*& start) {
        start = data_ + pos_;
        size_t n = count < size_ - pos_ ? count : size_ - pos_;
        pos_ += n;
        return n;
    }
    void Skip(size_t count) { pos_ += count < size_ - pos_ ? count : size_ - pos_; }
    size_t Remaining() const { return size_ - pos_; }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Septet i of packed data (3GPP TS 23.038 6.1.2.1.1); the caller keeps i within the octets.
uint8_t SeptetAt(const uint8_t* octets, size_t count, size_t i) {
    size_t bit = i * 7;
    size_t byte = bit / 8;
    unsigned shift = bit % 8;
    unsigned value = octets[byte] >> shift;
    if (shift > 1 && byte + 1 < count)
        value |= static_cast<unsigned>(octets[byte + 1]) << (8 - shift);
    return static_cast<uint8_t>(value & 0x7F);
}

// Septets from index `first` up to `end`, as text.
void UnpackToText(const uint8_t* octets, size_t count, size_t first, size_t end,
                  std::u16string& out) {
    std::array<uint8_t, kMaxOctets * 8 / 7 + 1> septets;
    size_t n = 0;
    size_t i = first;
    // Whole groups of eight septets in seven octets, where they start on an octet boundary.
    if (i % 8 == 0) {
        for (; i + 8 <= end && (i / 8 + 1) * 7 <= count; i += 8) {
            const uint8_t* g = octets + i / 8 * 7;
            uint64_t bits = 0;
            for (int k = 6; k >= 0; --k)
                bits = bits << 8 | g[k];
            for (int k = 0; k < 8; ++k)
                septets[n++] = static_cast<uint8_t>(bits >> (7 * k) & 0x7F);
        }
    }
    for (; i < end; ++i)
        septets[n++] = SeptetAt(octets, count, i);
    GsmSeptetsToText(septets.data(), n, out);
}

enum class Alphabet { kGsm7, kData8, kUcs2 };

// 3GPP TS 23.038 4: the alphabet of a data coding scheme.
Alphabet AlphabetOf(uint8_t dcs) {
    uint8_t group = dcs >> 4;
    if (group <= 0x7) {  // general data coding, with or without automatic deletion
        if (dcs & 0x20) return Alphabet::kData8;  // compressed: shown as data
        switch ((dcs >> 2) & 3) {
            case 1:
                return Alphabet::kData8;
            case 2:
                return Alphabet::kUcs2;
            default:
                return Alphabet::kGsm7;
        }
    }
    if (group == 0xE) return Alphabet::kUcs2;  // message waiting, store, UCS2
    if (group == 0xF) return (dcs & 0x04) ? Alphabet::kData8 : Alphabet::kGsm7;
    return Alphabet::kGsm7;  // message waiting groups and reserved ones
}

// 3GPP TS 23.040 9.1.2.5: length (semi-octets), type, value.
void ReadAddress(Cursor& in, std::u16string& out) {
    out.clear();
    uint8_t digits = in.Next();
    uint8_t type = in.Next();
    const uint8_t* value = nullptr;
    size_t octets = in.Take((digits + 1u) / 2, value);
    if ((type & 0x70) == 0x50) {  // alphanumeric, packed GSM 7-bit
        size_t septets = octets * 8 / 7;
        size_t wanted = digits * 4u / 7;
        UnpackToText(value, octets, 0, wanted < septets ? wanted : septets, out);
        return;
    }
    if ((type & 0x70) == 0x10) out.push_back(u'+');
    static constexpr char16_t kSemiOctet[] = u"0123456789*#abc";
    size_t count = digits < octets * 2 ? digits : octets * 2;
    for (size_t i = 0; i < count; ++i) {
        unsigned nibble = (i % 2 == 0) ? (value[i / 2] & 0xF) : (value[i / 2] >> 4);
        if (nibble != 0xF) out.push_back(kSemiOctet[nibble]);
    }
}

void AppendTwoDigits(std::u16string& out, int value) {
    out.push_back(static_cast<char16_t>(u'0' + value / 10));
    out.push_back(static_cast<char16_t>(u'0' + value % 10));
}

// Swapped semi-octets read as a decimal number that stops at the first non-digit.
int SwappedDecimal(uint8_t octet) {
    unsigned tens = octet & 0xF;
    unsigned units = octet >> 4;
    if (tens > 9) return 0;
    if (units > 9) return static_cast<int>(tens);
    return static_cast<int>(tens * 10 + units);
}

// 3GPP TS 23.040 9.2.3.11: year to second; the zone octet is not shown.
void FormatTimestamp(const uint8_t* stamp, std::u16string& out) {
    out.clear();
    static constexpr char16_t kSeparators[] = u"//,::";
    for (int i = 0; i < 6; ++i) {
        AppendTwoDigits(out, SwappedDecimal(stamp[i]));
        if (i < 5) out.push_back(kSeparators[i]);
    }
}

void ReadTimestamp(Cursor& in, std::u16string& out) {
    const uint8_t* stamp = nullptr;
    if (in.Take(7, stamp) >= 6)
        FormatTimestamp(stamp, out);
    else
        out.clear();
}

// User-data length, then the user data (3GPP TS 23.040 9.2.3.16, 9.2.3.24).
void ReadUserData(Cursor& in, uint8_t dcs, bool hasHeader, std::u16string& out) {
    out.clear();
    unsigned length = in.Next();
    Alphabet alphabet = AlphabetOf(dcs);
    const uint8_t* data = nullptr;
    size_t wantOctets = alphabet == Alphabet::kGsm7 ? (length * 7 + 7) / 8 : length;
    size_t octets = in.Take(wantOctets, data);
    size_t headerOctets = 0;
    if (hasHeader && octets > 0) {
        headerOctets = 1u + data[0];
        if (headerOctets > octets) headerOctets = octets;
    }
    if (alphabet == Alphabet::kGsm7) {
        size_t septets = octets * 8 / 7;
        if (septets > length) septets = length;
        // The header is followed by fill bits up to the next septet boundary.
        size_t first = (headerOctets * 8 + 6) / 7;
        if (first < septets) UnpackToText(data, octets, first, septets, out);
        return;
    }
    if (alphabet == Alphabet::kUcs2) {
        size_t units = (octets - headerOctets) / 2;
        out.resize(units);
        const uint8_t* unit = data + headerOctets;
        for (size_t i = 0; i < units; ++i)
            out[i] = static_cast<char16_t>(unit[2 * i] << 8 | unit[2 * i + 1]);
        return;
    }
    out.reserve((octets - headerOctets) * 2);
    for (size_t i = headerOctets; i < octets; ++i)
        AppendOctet(out, data[i]);
}

// Address field of the encoder: type then swapped digits.
void AppendSwapped(std::u16string_view digits, std::u16string& out) {
    auto semi = [](char16_t c) -> char16_t {
        if (c == u'*') return u'A';
        if (c == u'#') return u'B';
        return c;
    };
    size_t i = 0;
    for (; i + 1 < digits.size(); i += 2) {
        out.push_back(semi(digits[i + 1]));
        out.push_back(semi(digits[i]));
    }
    if (i < digits.size()) {
        out.push_back(u'F');
        out.push_back(semi(digits[i]));
    }
}

std::u16string_view WithoutPlus(std::u16string_view number) {
    if (!number.empty() && number[0] == u'+') number.remove_prefix(1);
    return number;
}

char16_t TypeDigit(std::u16string_view number) {
    return !number.empty() && number[0] == u'+' ? u'9' : u'8';
}

// Length octet, then type and digits; "00" alone for no number.
void AppendServiceCentre(std::u16string_view number, std::u16string& out) {
    std::u16string_view digits = WithoutPlus(number);
    if (digits.empty()) {
        out.append(u"00");
        return;
    }
    AppendOctet(out, static_cast<uint32_t>(1 + (digits.size() + 1) / 2));
    out.push_back(TypeDigit(number));
    out.push_back(u'1');
    AppendSwapped(digits, out);
}

void AppendDestination(std::u16string_view number, std::u16string& out) {
    std::u16string_view digits = WithoutPlus(number);
    AppendOctet(out, static_cast<uint32_t>(digits.size()));
    out.push_back(TypeDigit(number));
    out.push_back(u'1');
    AppendSwapped(digits, out);
}

int32_t TpduLength(const std::u16string& pdu, size_t scFieldEnd) {
    return static_cast<int32_t>((pdu.size() - scFieldEnd) / 2);
}

// Septets of a text the alphabet can hold entirely; false when a character has no place.
template <typename Sink>
bool ForEachSeptet(std::u16string_view text, Sink&& sink) {
    for (char16_t c : text) {
        uint8_t septets[2];
        int n = GsmEncodeChar(c, septets);
        if (n == 0) return false;
        for (int k = 0; k < n; ++k)
            sink(septets[k]);
    }
    return true;
}

}  // namespace

TextMeasure MeasureText(std::u16string_view text) {
    int32_t septets = 0;
    for (char16_t c : text) {
        uint8_t s[2];
        int n = c < 0x80 ? GsmEncodeChar(c, s) : 0;
        if (n == 0) return TextMeasure{TextCoding::kUcs2, static_cast<int32_t>(text.size())};
        septets += n;
    }
    return TextMeasure{TextCoding::kGsm7, septets};
}

int32_t PduCodec::EncodeAddress(std::u16string_view number, std::u16string& out) const {
    std::u16string_view digits = WithoutPlus(number);
    out.clear();
    AppendSwapped(digits, out);
    return static_cast<int32_t>(digits.size());
}

int32_t PduCodec::PackSeptets(std::u16string_view text, std::u16string& out) const {
    if (text.empty()) return -1;
    std::u16string packed;
    packed.reserve(text.size() * 2);
    uint32_t bits = 0;
    unsigned held = 0;
    int32_t count = 0;
    bool ok = ForEachSeptet(text, [&](uint8_t septet) {
        bits |= static_cast<uint32_t>(septet) << held;
        held += 7;
        ++count;
        if (held >= 8) {
            AppendOctet(packed, bits & 0xFF);
            bits >>= 8;
            held -= 8;
        }
    });
    if (!ok) return -1;
    if (held > 0) AppendOctet(packed, bits & 0xFF);
    out = std::move(packed);
    return count;
}

int32_t PduCodec::EncodeUcs2(std::u16string_view text, std::u16string& out) const {
    out.clear();
    out.reserve(text.size() * 4);
    for (char16_t c : text) {
        AppendOctet(out, c >> 8);
        AppendOctet(out, c & 0xFF);
    }
    return static_cast<int32_t>(text.size() * 2);
}

std::u16string PduCodec::EncodeTextSubmit(std::u16string_view scNumber,
                                          std::u16string_view destination, std::u16string_view text,
                                          int32_t& tpduLength) const {
    std::u16string pdu;
    pdu.reserve(40 + text.size() * 4);
    AppendServiceCentre(scNumber, pdu);
    size_t scEnd = pdu.size();
    pdu.append(u"013C");
    AppendDestination(destination, pdu);
    pdu.append(u"00");
    std::u16string userData;
    int32_t length = 0;
    if (MeasureText(text).coding == TextCoding::kGsm7) {
        pdu.append(u"00");
        length = PackSeptets(text, userData);
        if (length < 0) length = 0;  // empty text: an empty message
    } else {
        pdu.append(u"08");
        length = EncodeUcs2(text, userData);
    }
    AppendOctet(pdu, static_cast<uint32_t>(length));
    pdu.append(userData);
    tpduLength = TpduLength(pdu, scEnd);
    return pdu;
}

std::u16string PduCodec::EncodeBinarySubmit(std::u16string_view scNumber,
                                            std::u16string_view destination,
                                            std::u16string_view userDataHex,
                                            int32_t& tpduLength) const {
    std::u16string pdu;
    pdu.reserve(40 + userDataHex.size());
    AppendServiceCentre(scNumber, pdu);
    size_t scEnd = pdu.size();
    pdu.append(u"513C");
    AppendDestination(destination, pdu);
    pdu.append(u"00F5A7");
    AppendOctet(pdu, static_cast<uint32_t>(userDataHex.size() / 2));
    pdu.append(userDataHex);
    tpduLength = TpduLength(pdu, scEnd);
    return pdu;
}

void PduCodec::DecodeMessagePdu(std::u16string_view pdu, std::u16string& number,
                                std::u16string& time, std::u16string& text) const {
    if (pdu.size() < 12) return;
    Octets octets;
    HexToOctets(pdu, octets);
    Cursor in(octets.data.data(), octets.size);
    in.Skip(in.Next());  // service centre
    uint8_t first = in.Next();
    bool hasHeader = first & 0x40;
    // 3GPP TS 23.040 9.2.3.1: message type indicator.
    switch (first & 0x03) {
        case 1: {       // SMS-SUBMIT
            in.Next();  // message reference
            ReadAddress(in, number);
            in.Next();  // protocol identifier
            uint8_t dcs = in.Next();
            // 9.2.3.3: none, enhanced (7), relative (1), absolute (7)
            static constexpr size_t kValidityOctets[4] = {0, 7, 1, 7};
            in.Skip(kValidityOctets[(first >> 3) & 3]);
            time.clear();
            ReadUserData(in, dcs, hasHeader, text);
            return;
        }
        case 2: {  // SMS-STATUS-REPORT: recipient and service-centre time
            in.Next();
            ReadAddress(in, number);
            ReadTimestamp(in, time);
            text.clear();
            return;
        }
        default: {  // SMS-DELIVER (3 is reserved and read the same way)
            ReadAddress(in, number);
            in.Next();
            uint8_t dcs = in.Next();
            ReadTimestamp(in, time);
            ReadUserData(in, dcs, hasHeader, text);
            return;
        }
    }
}

std::u16string PduCodec::DecodeAddress(std::u16string_view field) const {
    if (field.size() <= 4) return {};
    Octets octets;
    HexToOctets(field, octets);
    Cursor in(octets.data.data(), octets.size);
    std::u16string number;
    ReadAddress(in, number);
    return number;
}

std::u16string PduCodec::DecodeTimestamp(std::u16string_view stamp) const {
    if (stamp.size() != 12) return {};
    uint8_t octets[6];
    for (int i = 0; i < 6; ++i) {
        int hi = HexValue(stamp[2 * i]);
        int lo = HexValue(stamp[2 * i + 1]);
        octets[i] = static_cast<uint8_t>((hi < 0 ? 0xF : hi) << 4 | (lo < 0 ? 0xF : lo));
    }
    std::u16string out;
    FormatTimestamp(octets, out);
    return out;
}

std::u16string PduCodec::DecodeUserData(std::u16string_view userData, bool ucs2) const {
    Octets octets;
    HexToOctets(userData, octets);
    Cursor in(octets.data.data(), octets.size);
    std::u16string text;
    ReadUserData(in, ucs2 ? 0x08 : 0x00, false, text);
    return text;
}

std::u16string PduCodec::UnpackSeptets(std::u16string_view packedHex) const {
    Octets octets;
    HexToOctets(packedHex, octets);
    size_t septets = octets.size * 8 / 7;
    // Seven octets holding seven characters end in a zero fill septet, not an '@'.
    if (octets.size % 7 == 0 && septets > 0 &&
        SeptetAt(octets.data.data(), octets.size, septets - 1) == 0) {
        --septets;
    }
    std::u16string text;
    UnpackToText(octets.data.data(), octets.size, 0, septets, text);
    return text;
}

int32_t PduCodec::HexToInt(std::u16string_view hex) {
    uint32_t value = 0;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        auto digit = [](char16_t c) -> uint32_t {
            if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 0x20);
            return c <= u'9' ? static_cast<uint32_t>(c) - 0x30 : static_cast<uint32_t>(c) - 0x37;
        };
        value = value * 256 + ((digit(hex[i]) * 16 + digit(hex[i + 1])) & 0xFFFFFFFFu);
    }
    return static_cast<int32_t>(value);
}

}  // namespace telvane
