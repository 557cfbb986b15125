#include "codec/smart_message_builder.h"

#include <atomic>

#include "platform/text.h"

namespace telvane {

namespace {

constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";

// The first part carries 113 bitmap octets (its header and item start fill the rest of the 140),
// every further part 128.
constexpr size_t kFirstPartOctets = 113;
constexpr size_t kFurtherPartOctets = 128;

std::atomic<uint8_t> concatenationReference{1};

void AppendOctet(std::u16string& out, uint32_t octet) {
    out.push_back(kHexDigits[(octet >> 4) & 0xF]);
    out.push_back(kHexDigits[octet & 0xF]);
}

void AppendDigit(std::u16string& out, int32_t digit) {
    out.push_back(static_cast<char16_t>(u'0' + digit % 10));
}

// MCC and MNC as in 3GPP TS 24.008 10.5.1.3: three octets of swapped BCD digits, F where a
// two-digit MNC leaves the third digit unused.
std::u16string NetworkCode(std::u16string_view operatorCode) {
    int32_t v = ReadNumber(operatorCode);
    if (v < 0) v = 0;
    int32_t mcc = 0;
    int32_t mnc = 0;
    bool threeDigitMnc = v >= 100000;
    if (threeDigitMnc) {
        mcc = (v / 1000) % 1000;
        mnc = v % 1000;
    } else {
        mcc = (v / 100) % 1000;
        mnc = v % 100;
    }
    std::u16string out;
    AppendDigit(out, mcc / 10);
    AppendDigit(out, mcc / 100);
    if (threeDigitMnc) {
        AppendDigit(out, mnc % 10);
    } else {
        out.push_back(u'F');
    }
    AppendDigit(out, mcc);
    if (threeDigitMnc) {
        AppendDigit(out, mnc / 10);
        AppendDigit(out, mnc / 100);
    } else {
        AppendDigit(out, mnc);
        AppendDigit(out, mnc / 10);
    }
    return out;
}

}  // namespace

std::u16string BitmapToHex(std::span<const int32_t> cells, bool inverted) {
    std::u16string hex;
    hex.reserve(kPictureHexDigits);
    const size_t total = static_cast<size_t>(kBitmapWidth) * kBitmapHeight;
    for (size_t i = 0; i < total; i += 4) {
        unsigned nibble = 0;
        for (size_t k = 0; k < 4; ++k) {
            bool set = i + k < cells.size() && cells[i + k] != 0;
            nibble = nibble << 1 | (set != inverted ? 1u : 0u);
        }
        hex.push_back(kHexDigits[nibble]);
    }
    return hex;
}

int32_t SmartMessageBuilder::BuildPictureMessage(std::u16string_view bitmapHex) {
    // version 0, item "picture" (02) of 256 octets: 72 x 28, one bit a pixel
    return Build(u"158A", u"3002010000481C01", bitmapHex);
}

int32_t SmartMessageBuilder::BuildScreenSaver(std::u16string_view bitmapHex) {
    return Build(u"158A", u"3006010000481C01", bitmapHex);
}

int32_t SmartMessageBuilder::BuildOperatorLogo(std::u16string_view bitmapHex,
                                               std::u16string_view operatorCode) {
    std::u16string start = u"30" + NetworkCode(operatorCode) + u"0A00480E01";
    return Build(u"1582", start, bitmapHex);
}

std::u16string SmartMessageBuilder::GetPart(int32_t number) const {
    if (number < 1 || number > PartCount()) return {};
    return parts_[static_cast<size_t>(number - 1)];
}

int32_t SmartMessageBuilder::Build(std::u16string_view port, std::u16string_view payloadStart,
                                   std::u16string_view bitmapHex) {
    const size_t octets = bitmapHex.size() / 2;  // a stray last digit is not sent
    size_t count = 1;
    if (octets > kFirstPartOctets)
        count += (octets - kFirstPartOctets + kFurtherPartOctets - 1) / kFurtherPartOctets;
    // The header counts parts in one octet.
    if (count > 255) count = 255;
    const uint8_t reference = concatenationReference.fetch_add(1);

    parts_.assign(count, std::u16string());
    size_t taken = 0;
    for (size_t i = 0; i < count; ++i) {
        std::u16string& part = parts_[i];
        // 23.040 9.2.3.24: 16-bit application ports, then 8-bit concatenation.
        part.append(u"0B0504");
        part.append(port);
        part.append(u"00000003");
        AppendOctet(part, reference);
        AppendOctet(part, static_cast<uint32_t>(count));
        AppendOctet(part, static_cast<uint32_t>(i + 1));
        size_t chunk = i == 0 ? kFirstPartOctets : kFurtherPartOctets;
        if (i == 0) part.append(payloadStart);
        size_t left = octets - taken;
        if (chunk > left) chunk = left;
        part.append(bitmapHex.substr(taken * 2, chunk * 2));
        taken += chunk;
    }
    return static_cast<int32_t>(count);
}

}  // namespace telvane
