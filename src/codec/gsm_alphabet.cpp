#include "codec/gsm_alphabet.h"

#include <array>

namespace telvane {

namespace {

// 3GPP TS 23.038 6.2.1, basic table.
constexpr char16_t kBasic[128] = {
    u'@',      u'\u00A3', u'$',      u'\u00A5', u'\u00E8', u'\u00E9', u'\u00F9', u'\u00EC',
    u'\u00F2', u'\u00C7', u'\n',     u'\u00D8', u'\u00F8', u'\r',     u'\u00C5', u'\u00E5',
    u'\u0394', u'_',      u'\u03A6', u'\u0393', u'\u039B', u'\u03A9', u'\u03A0', u'\u03A8',
    u'\u03A3', u'\u0398', u'\u039E', u' ',      u'\u00C6', u'\u00E6', u'\u00DF', u'\u00C9',
    u' ',      u'!',      u'"',      u'#',      u'\u00A4', u'%',      u'&',      u'\'',
    u'(',      u')',      u'*',      u'+',      u',',      u'-',      u'.',      u'/',
    u'0',      u'1',      u'2',      u'3',      u'4',      u'5',      u'6',      u'7',
    u'8',      u'9',      u':',      u';',      u'<',      u'=',      u'>',      u'?',
    u'\u00A1', u'A',      u'B',      u'C',      u'D',      u'E',      u'F',      u'G',
    u'H',      u'I',      u'J',      u'K',      u'L',      u'M',      u'N',      u'O',
    u'P',      u'Q',      u'R',      u'S',      u'T',      u'U',      u'V',      u'W',
    u'X',      u'Y',      u'Z',      u'\u00C4', u'\u00D6', u'\u00D1', u'\u00DC', u'\u00A7',
    u'\u00BF', u'a',      u'b',      u'c',      u'd',      u'e',      u'f',      u'g',
    u'h',      u'i',      u'j',      u'k',      u'l',      u'm',      u'n',      u'o',
    u'p',      u'q',      u'r',      u's',      u't',      u'u',      u'v',      u'w',
    u'x',      u'y',      u'z',      u'\u00E4', u'\u00F6', u'\u00F1', u'\u00FC', u'\u00E0',
};

// 3GPP TS 23.038 6.2.1.1, extension table (escape 0x1B + septet).
struct Extension {
    uint8_t septet;
    char16_t c;
};
constexpr Extension kExtension[] = {
    {0x0A, u'\f'}, {0x14, u'^'}, {0x28, u'{'}, {0x29, u'}'}, {0x2F, u'\\'},
    {0x3C, u'['},  {0x3D, u'~'}, {0x3E, u']'}, {0x40, u'|'}, {0x65, u'\u20AC'},
};

constexpr uint16_t kNone = 0xFFFF;
constexpr uint16_t kExtFlag = 0x100;

// Reverse map for U+0000..U+00FF: septet, septet | kExtFlag, or kNone.
constexpr std::array<uint16_t, 256> MakeLatinMap() {
    std::array<uint16_t, 256> map{};
    for (auto& v : map)
        v = kNone;
    for (int s = 0; s < 128; ++s) {
        if (s == kGsmEscape) continue;
        if (kBasic[s] < 256 && map[kBasic[s]] == kNone) map[kBasic[s]] = static_cast<uint16_t>(s);
    }
    for (const auto& e : kExtension)
        if (e.c < 256) map[e.c] = static_cast<uint16_t>(e.septet | kExtFlag);
    return map;
}
constexpr std::array<uint16_t, 256> kLatinMap = MakeLatinMap();

constexpr std::array<char16_t, 128> MakeExtensionDecode() {
    std::array<char16_t, 128> table{};
    for (const auto& e : kExtension)
        table[e.septet] = e.c;
    return table;
}
constexpr std::array<char16_t, 128> kExtensionDecode = MakeExtensionDecode();

}  // namespace

char16_t GsmBasicChar(uint8_t septet) {
    return kBasic[septet & 0x7F];
}

char16_t GsmExtensionChar(uint8_t septet) {
    return kExtensionDecode[septet & 0x7F];
}

int GsmEncodeChar(char16_t c, uint8_t septets[2]) {
    uint16_t code = kNone;
    if (c < 256) {
        code = kLatinMap[c];
    } else if (c == u'\u20AC') {
        code = 0x65 | kExtFlag;
    } else {
        for (int s = 0x10; s <= 0x1A; ++s) {
            if (kBasic[s] == c) {
                code = static_cast<uint16_t>(s);
                break;
            }
        }
    }
    if (code == kNone) return 0;
    if (code & kExtFlag) {
        septets[0] = kGsmEscape;
        septets[1] = static_cast<uint8_t>(code & 0x7F);
        return 2;
    }
    septets[0] = static_cast<uint8_t>(code);
    return 1;
}

void GsmSeptetsToText(const uint8_t* septets, size_t count, std::u16string& out) {
    size_t length = out.size();
    out.resize(length + count);
    char16_t* text = out.data() + length;
    size_t n = 0;
    for (size_t i = 0; i < count; ++i) {
        uint8_t s = septets[i] & 0x7F;
        if (s != kGsmEscape) {
            text[n++] = kBasic[s];
            continue;
        }
        if (i + 1 == count) break;  // a dangling escape introduces nothing
        uint8_t next = septets[++i] & 0x7F;
        char16_t ext = kExtensionDecode[next];
        text[n++] = ext != 0 ? ext : kBasic[next];
    }
    out.resize(length + n);
}

}  // namespace telvane
