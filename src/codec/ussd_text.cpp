#include "codec/ussd_text.h"

#include <vector>

#include "codec/gsm_alphabet.h"
#include "platform/text.h"

namespace telvane {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The octets of an even run of hex digits; false for anything else.
bool HexOctets(std::string_view hex, std::vector<uint8_t>& octets) {
    if (hex.empty() || hex.size() % 2 != 0) return false;
    octets.clear();
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        octets.push_back(static_cast<uint8_t>(high << 4 | low));
    }
    return true;
}

std::u16string FromUcs2(const std::vector<uint8_t>& octets, size_t from) {
    std::u16string text;
    for (size_t i = from; i + 1 < octets.size(); i += 2)
        text += static_cast<char16_t>(octets[i] << 8 | octets[i + 1]);
    return text;
}

// 23.038 6.1.2.3: septets packed into octets, low bits first.
std::u16string Unpack(const std::vector<uint8_t>& octets) {
    const size_t count = octets.size() * 8 / 7;
    std::vector<uint8_t> septets(count);
    for (size_t i = 0; i < count; ++i) {
        const size_t bit = i * 7;
        unsigned value = octets[bit / 8] >> (bit % 8);
        if (bit % 8 > 1 && bit / 8 + 1 < octets.size())
            value |= octets[bit / 8 + 1] << (8 - bit % 8);
        septets[i] = static_cast<uint8_t>(value & 0x7F);
    }
    // 23.038 6.1.2.3.1: a CR in the last septet of a full octet run only fills spare bits.
    if (count % 8 == 0 && count > 0 && septets.back() == 0x0D) septets.pop_back();
    std::u16string text;
    GsmSeptetsToText(septets.data(), septets.size(), text);
    return text;
}

bool Common(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           std::u16string_view(u" .,:;!?-()/\r\n$%#*+='").find(c) != std::u16string_view::npos;
}

// Hex digits stand for packed septets when what they unpack to reads as text: a plain answer
// ("1000") that happens to be hex unpacks to symbols.
bool ReadsAsText(std::u16string_view text) {
    if (text.empty()) return false;
    size_t common = 0;
    for (char16_t c : text)
        if (Common(c)) ++common;
    return common * 5 >= text.size() * 4;
}

// Every UCS2 unit below U+0100: a Latin text the modem passes on in its "UCS2" character set.
bool LatinUcs2(const std::vector<uint8_t>& octets) {
    if (octets.size() % 2 != 0) return false;
    for (size_t i = 0; i < octets.size(); i += 2)
        if (octets[i] != 0) return false;
    return true;
}

std::u16string AsText(std::string_view field) {
    // Plain ASCII, or UTF-8 from a modem set to it; other bytes as Latin-1.
    std::u16string wide = Utf8ToU16(field);
    if (U16ToUtf8(wide) == field) return wide;
    std::u16string latin;
    for (char c : field)
        latin += static_cast<char16_t>(static_cast<unsigned char>(c));
    return latin;
}

}  // namespace

bool IsUssdCode(std::u16string_view code) {
    if (code.empty() || code.size() > kMaxUssdLength) return false;
    for (char16_t c : code)
        if (!((c >= u'0' && c <= u'9') || c == u'*' || c == u'#' || c == u'+')) return false;
    return true;
}

bool IsUssdReply(std::u16string_view reply) {
    if (reply.empty() || reply.size() > kMaxUssdLength) return false;
    for (char16_t c : reply)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
              c == u'*' || c == u'#' || c == u'+'))
            return false;
    return true;
}

UssdAlphabet UssdAlphabetOf(int32_t dcs) {
    if (dcs < 0 || dcs > 0xFF) return UssdAlphabet::kGsm7;
    const int group = dcs >> 4;
    if (dcs == 0x11) return UssdAlphabet::kUcs2;
    // 0100..0111 and 1001: general data coding, bits 3-2 the alphabet.
    if ((group >= 0x4 && group <= 0x7) || group == 0x9) {
        switch ((dcs >> 2) & 0x3) {
            case 1:
                return UssdAlphabet::kEightBit;
            case 2:
                return UssdAlphabet::kUcs2;
            default:
                return UssdAlphabet::kGsm7;
        }
    }
    // 1111: data coding and message class, bit 2 the alphabet.
    if (group == 0xF) return (dcs & 0x04) ? UssdAlphabet::kEightBit : UssdAlphabet::kGsm7;
    return UssdAlphabet::kGsm7;
}

std::u16string DecodeUssdText(std::string_view field, int32_t dcs) {
    std::vector<uint8_t> octets;
    const bool hex = HexOctets(field, octets);
    switch (UssdAlphabetOf(dcs)) {
        case UssdAlphabet::kUcs2:
            if (hex && octets.size() % 2 == 0) {
                // 0x11: two 7-bit characters of language (padded to two octets) come first.
                const size_t from = dcs == 0x11 && octets.size() >= 2 ? 2 : 0;
                return FromUcs2(octets, from);
            }
            return AsText(field);
        case UssdAlphabet::kEightBit:
            if (hex) {
                std::u16string text;
                for (uint8_t o : octets)
                    text += static_cast<char16_t>(o);
                return text;
            }
            return AsText(field);
        case UssdAlphabet::kGsm7:
            break;
    }
    if (hex && field.size() % 4 == 0 && LatinUcs2(octets)) return FromUcs2(octets, 0);
    if (hex) {
        std::u16string unpacked = Unpack(octets);
        // 0x10: the language's two characters and a CR come first.
        if (dcs == 0x10 && unpacked.size() >= 3) unpacked.erase(0, 3);
        if (ReadsAsText(unpacked)) return unpacked;
    }
    return AsText(field);
}

}  // namespace telvane
