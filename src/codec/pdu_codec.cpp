#include "codec/pdu_codec.h"

#include <array>
#include <utility>

#include "codec/gsm_alphabet.h"
#include "codec/phone_number.h"
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

// 3GPP TS 23.040 9.2.3.24: the information elements of a user-data header.  A concatenation
// element that repeats counts by its last well-formed occurrence; one with a sequence of 0 or
// past its total is ignored (9.2.3.24.1).
std::optional<ConcatInfo> ReadConcat(const uint8_t* header, size_t size) {
    std::optional<ConcatInfo> found;
    size_t i = 0;
    while (i + 2 <= size) {
        uint8_t iei = header[i];
        size_t length = header[i + 1];
        const uint8_t* data = header + i + 2;
        if (i + 2 + length > size) break;
        ConcatInfo info;
        bool isConcat = false;
        if (iei == 0x00 && length == 3) {  // 9.2.3.24.1: 8-bit reference
            info = ConcatInfo{data[0], 8, data[1], data[2]};
            isConcat = true;
        } else if (iei == 0x08 && length == 4) {  // 9.2.3.24.8: 16-bit reference
            info = ConcatInfo{data[0] << 8 | data[1], 16, data[2], data[3]};
            isConcat = true;
        }
        if (isConcat && info.total > 0 && info.sequence > 0 && info.sequence <= info.total)
            found = info;
        i += 2 + length;
    }
    return found;
}

// User-data length, then the user data (3GPP TS 23.040 9.2.3.16, 9.2.3.24).
void ReadUserData(Cursor& in, uint8_t dcs, bool hasHeader, std::u16string& out,
                  std::optional<ConcatInfo>* concat = nullptr) {
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
        if (concat) *concat = ReadConcat(data + 1, headerOctets - 1);
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

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Where a text is cut into messages: [begin, end) ranges of code units, in sending order.
struct Split {
    TextCoding coding = TextCoding::kGsm7;
    int32_t units = 0;
    std::vector<std::pair<size_t, size_t>> parts;
};

// Greedy cut at `capacity` units a part; an extension character's two septets and a surrogate
// pair are one item, so neither is ever split between parts.
Split SplitText(std::u16string_view text, bool sixteenBitReference) {
    Split split;
    TextMeasure measure = MeasureText(text);
    split.coding = measure.coding;
    split.units = measure.units;
    const bool gsm = measure.coding == TextCoding::kGsm7;
    if (measure.units <= (gsm ? kMaxSeptets : kMaxUcs2Units)) {
        split.parts.emplace_back(0, text.size());
        return split;
    }
    const int32_t capacity = gsm ? (sixteenBitReference ? kPartSeptets16 : kPartSeptets)
                                 : (sixteenBitReference ? kPartUcs2Units16 : kPartUcs2Units);
    size_t begin = 0;
    int32_t used = 0;
    for (size_t i = 0; i < text.size();) {
        size_t width = 1;
        int32_t cost = 1;
        if (gsm) {
            uint8_t septets[2];
            cost = GsmEncodeChar(text[i], septets);
        } else if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            width = 2;
            cost = 2;
        }
        if (used + cost > capacity) {
            split.parts.emplace_back(begin, i);
            begin = i;
            used = 0;
        }
        used += cost;
        i += width;
    }
    split.parts.emplace_back(begin, text.size());
    return split;
}

// 3GPP TS 23.040 9.2.3.24: UDHL, then the concatenation element (9.2.3.24.1 or 9.2.3.24.8).
std::vector<uint8_t> ConcatHeader(const SubmitOptions& options, size_t total, size_t sequence) {
    const auto total8 = static_cast<uint8_t>(total);
    const auto sequence8 = static_cast<uint8_t>(sequence);
    if (options.sixteenBitReference) {
        return {0x06,
                0x08,
                0x04,
                static_cast<uint8_t>(options.reference >> 8 & 0xFF),
                static_cast<uint8_t>(options.reference & 0xFF),
                total8,
                sequence8};
    }
    return {0x05, 0x00, 0x03, static_cast<uint8_t>(options.reference & 0xFF), total8, sequence8};
}

// User data of one part: the header, then for 7-bit the septets from the next septet boundary
// (the fill bits of 9.2.3.24 stay 0).  Returns the user-data length: septets or octets.
int32_t PartUserData(std::u16string_view text, TextCoding coding,
                     const std::vector<uint8_t>& header, std::vector<uint8_t>& octets) {
    octets = header;
    if (coding == TextCoding::kUcs2) {
        for (char16_t c : text) {
            octets.push_back(static_cast<uint8_t>(c >> 8));
            octets.push_back(static_cast<uint8_t>(c & 0xFF));
        }
        return static_cast<int32_t>(octets.size());
    }
    const size_t first = (header.size() * 8 + 6) / 7;
    size_t septet = first;
    ForEachSeptet(text, [&](uint8_t value) {
        size_t bit = septet * 7;
        octets.resize((bit + 7 + 7) / 8, 0);
        octets[bit / 8] |= static_cast<uint8_t>(value << (bit % 8));
        if (bit % 8 > 1) octets[bit / 8 + 1] |= static_cast<uint8_t>(value >> (8 - bit % 8));
        ++septet;
    });
    octets.resize((septet * 7 + 7) / 8, 0);
    return static_cast<int32_t>(septet);
}

// The encoder's own check of a number: it must already be normalised.
bool CheckNumber(std::u16string_view number, bool emptyAllowed, const char* what,
                 std::u16string& reason) {
    if (emptyAllowed && number.empty()) return true;
    PhoneNumber checked = CheckNormalisedNumber(number);
    if (checked.ok()) return true;
    reason = Utf8ToU16(what) + checked.Reason();
    return false;
}

}  // namespace

TextMeasure MeasureText(std::u16string_view text) {
    int32_t septets = 0;
    for (char16_t c : text) {
        uint8_t s[2];
        int n = GsmEncodeChar(c, s);
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

PartsMeasure MeasureParts(std::u16string_view text, bool sixteenBitReference) {
    Split split = SplitText(text, sixteenBitReference);
    PartsMeasure measure;
    measure.coding = split.coding;
    measure.units = split.units;
    measure.messages = static_cast<int32_t>(split.parts.size());
    const bool gsm = split.coding == TextCoding::kGsm7;
    if (measure.messages == 1) {
        measure.limit = gsm ? kMaxSeptets : kMaxUcs2Units;
    } else {
        measure.limit =
            measure.messages * (gsm ? (sixteenBitReference ? kPartSeptets16 : kPartSeptets)
                                    : (sixteenBitReference ? kPartUcs2Units16 : kPartUcs2Units));
    }
    return measure;
}

size_t FittingPrefix(std::u16string_view text, int32_t maxParts, bool sixteenBitReference) {
    if (MeasureParts(text, sixteenBitReference).messages <= maxParts) return text.size();
    // A longer start never needs fewer messages, so the cut is found by halving.
    size_t lo = 0, hi = text.size();
    while (lo < hi) {
        size_t mid = (lo + hi + 1) / 2;
        if (MeasureParts(text.substr(0, mid), sixteenBitReference).messages <= maxParts) {
            lo = mid;
        } else {
            hi = mid - 1;
        }
    }
    if (lo > 0 && IsHighSurrogate(text[lo - 1])) --lo;
    return lo;
}

TextSubmit PduCodec::EncodeTextMessage(std::u16string_view scNumber,
                                       std::u16string_view destination, std::u16string_view text,
                                       const SubmitOptions& options) const {
    TextSubmit result;
    if (!CheckNumber(destination, false, "Recipient: ", result.reason)) {
        result.error = SubmitError::kDestination;
        return result;
    }
    if (!CheckNumber(scNumber, true, "SMS centre: ", result.reason)) {
        result.error = SubmitError::kServiceCentre;
        return result;
    }
    Split split = SplitText(text, options.sixteenBitReference);
    result.coding = split.coding;
    result.units = split.units;
    const size_t total = split.parts.size();
    if (total > static_cast<size_t>(kMaxParts)) {
        result.error = SubmitError::kTooLong;
        result.reason =
            Utf8ToU16("The text needs " + std::to_string(total) + " messages; at most " +
                      std::to_string(kMaxParts) + " can be joined.");
        return result;
    }
    // 3GPP TS 23.040 9.2.2.2: SMS-SUBMIT; 9.2.3.5 TP-SRR, 9.2.3.23 TP-UDHI.
    const uint32_t firstOctet = 0x01 | (options.statusReport ? 0x20 : 0) | (total > 1 ? 0x40 : 0);
    std::vector<uint8_t> userData;
    for (size_t i = 0; i < total; ++i) {
        const auto [begin, end] = split.parts[i];
        std::vector<uint8_t> header;
        if (total > 1) header = ConcatHeader(options, total, i + 1);
        int32_t length =
            PartUserData(text.substr(begin, end - begin), split.coding, header, userData);
        SubmitPart part;
        part.pdu.reserve(40 + userData.size() * 2);
        AppendServiceCentre(scNumber, part.pdu);
        const size_t scEnd = part.pdu.size();
        AppendOctet(part.pdu, firstOctet);
        part.pdu.append(u"3C");
        AppendDestination(destination, part.pdu);
        part.pdu.append(u"00");
        part.pdu.append(split.coding == TextCoding::kGsm7 ? u"00" : u"08");
        AppendOctet(part.pdu, static_cast<uint32_t>(length));
        for (uint8_t octet : userData)
            AppendOctet(part.pdu, octet);
        part.tpduLength = TpduLength(part.pdu, scEnd);
        result.parts.push_back(std::move(part));
    }
    return result;
}

std::u16string PduCodec::EncodeTextSubmit(std::u16string_view scNumber,
                                          std::u16string_view destination, std::u16string_view text,
                                          int32_t& tpduLength) const {
    TextSubmit submit = EncodeTextMessage(scNumber, destination, text);
    if (!submit.ok() || submit.parts.size() != 1) {
        tpduLength = 0;
        return {};
    }
    tpduLength = submit.parts[0].tpduLength;
    return std::move(submit.parts[0].pdu);
}

std::u16string PduCodec::EncodeBinarySubmit(std::u16string_view scNumber,
                                            std::u16string_view destination,
                                            std::u16string_view userDataHex,
                                            int32_t& tpduLength) const {
    std::u16string reason;
    // 140 octets of user data (3GPP TS 23.040 9.2.3.16)
    if (userDataHex.size() / 2 > 140 || !CheckNumber(destination, false, "", reason) ||
        !CheckNumber(scNumber, true, "", reason)) {
        tpduLength = 0;
        return {};
    }
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

DeliveryStatus DeliveryStatusOf(int32_t status) {
    // 3GPP TS 23.040 9.2.3.15: 00-1F completed, 20-3F still trying, 40-5F permanent error,
    // 60-7F temporary error with no more attempts; bit 7 is reserved, taken as not delivered.
    if (status >= 0x00 && status <= 0x1F) return DeliveryStatus::kDelivered;
    if (status >= 0x20 && status <= 0x3F) return DeliveryStatus::kPending;
    return DeliveryStatus::kFailed;
}

DecodedPdu PduCodec::DecodePdu(std::u16string_view pdu) const {
    DecodedPdu out;
    if (pdu.size() < 12) return out;
    Octets octets;
    HexToOctets(pdu, octets);
    Cursor in(octets.data.data(), octets.size);
    in.Skip(in.Next());  // service centre
    uint8_t first = in.Next();
    bool hasHeader = first & 0x40;
    // 3GPP TS 23.040 9.2.3.1: message type indicator.
    switch (first & 0x03) {
        case 1: {  // SMS-SUBMIT
            out.kind = PduKind::kSubmit;
            out.statusReportRequested = first & 0x20;
            out.messageReference = in.Next();
            ReadAddress(in, out.number);
            in.Next();  // protocol identifier
            uint8_t dcs = in.Next();
            // 9.2.3.3: none, enhanced (7), relative (1), absolute (7)
            static constexpr size_t kValidityOctets[4] = {0, 7, 1, 7};
            in.Skip(kValidityOctets[(first >> 3) & 3]);
            ReadUserData(in, dcs, hasHeader, out.text, &out.concat);
            return out;
        }
        case 2: {  // SMS-STATUS-REPORT (9.2.2.3)
            out.kind = PduKind::kStatusReport;
            out.messageReference = in.Next();
            ReadAddress(in, out.number);
            ReadTimestamp(in, out.time);
            ReadTimestamp(in, out.dischargeTime);
            if (in.Remaining() > 0) out.status = in.Next();
            return out;
        }
        default: {  // SMS-DELIVER (3 is reserved and read the same way)
            out.kind = PduKind::kDeliver;
            out.statusReportRequested = first & 0x20;
            ReadAddress(in, out.number);
            in.Next();
            uint8_t dcs = in.Next();
            ReadTimestamp(in, out.time);
            ReadUserData(in, dcs, hasHeader, out.text, &out.concat);
            return out;
        }
    }
}

void PduCodec::DecodeMessagePdu(std::u16string_view pdu, std::u16string& number,
                                std::u16string& time, std::u16string& text) const {
    if (pdu.size() < 12) return;
    DecodedPdu decoded = DecodePdu(pdu);
    number = std::move(decoded.number);
    time = std::move(decoded.time);
    text = std::move(decoded.text);
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
