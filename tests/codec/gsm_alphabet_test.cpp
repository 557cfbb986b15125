#include "codec/gsm_alphabet.h"

#include <gtest/gtest.h>

#include <set>

#include "codec/pdu_codec.h"

namespace telvane {
namespace {

TEST(GsmAlphabet, EveryBasicCharacterBothWays) {
    std::set<char16_t> seen;
    for (uint8_t s = 0; s < 128; ++s) {
        if (s == kGsmEscape) continue;
        char16_t c = GsmBasicChar(s);
        EXPECT_TRUE(seen.insert(c).second) << "duplicate at " << int(s);
        uint8_t septets[2] = {0xFF, 0xFF};
        ASSERT_EQ(GsmEncodeChar(c, septets), 1) << int(s);
        EXPECT_EQ(septets[0], s);
    }
    // where the table differs from ASCII
    struct Pair {
        uint8_t septet;
        char16_t c;
    } pairs[] = {{0x00, u'@'},      {0x02, u'$'},      {0x11, u'_'},      {0x24, u'\u00A4'},
                 {0x40, u'\u00A1'}, {0x60, u'\u00BF'}, {0x7F, u'\u00E0'}, {0x10, u'\u0394'},
                 {0x0A, u'\n'},     {0x0D, u'\r'}};
    for (auto p : pairs)
        EXPECT_EQ(GsmBasicChar(p.septet), p.c) << int(p.septet);
}

TEST(GsmAlphabet, ExtensionTableBothWays) {
    const std::u16string extension = u"\f^{}\\[~]|\u20AC";
    const uint8_t codes[] = {0x0A, 0x14, 0x28, 0x29, 0x2F, 0x3C, 0x3D, 0x3E, 0x40, 0x65};
    for (size_t i = 0; i < extension.size(); ++i) {
        uint8_t septets[2] = {};
        ASSERT_EQ(GsmEncodeChar(extension[i], septets), 2);
        EXPECT_EQ(septets[0], kGsmEscape);
        EXPECT_EQ(septets[1], codes[i]);
        EXPECT_EQ(GsmExtensionChar(codes[i]), extension[i]);
    }
    uint8_t septets[2];
    for (char16_t missing : {u'`', u'\x01', u'\x7F', u'\u00E1', u'\u4F60'})
        EXPECT_EQ(GsmEncodeChar(missing, septets), 0) << int(missing);
}

TEST(GsmAlphabet, EscapeSequencesWhenDecoding) {
    struct Case {
        std::vector<uint8_t> septets;
        std::u16string text;
    } cases[] = {
        {{0x1B, 0x65, 0x61}, u"\u20ACa"},
        {{0x1B, 0x1B}, u" "},          // escape to a further table, shown as a space
        {{0x1B, 0x41}, u"A"},          // no extension: the basic character
        {{0x61, 0x1B}, u"a"},          // dangling escape
        {{0x00, 0x00, 0x61}, u"@@a"},  // '@' never ends the text
    };
    for (const auto& c : cases) {
        std::u16string out;
        GsmSeptetsToText(c.septets.data(), c.septets.size(), out);
        EXPECT_EQ(out, c.text);
    }
}

TEST(GsmAlphabet, WholeAlphabetThroughThePacker) {
    std::u16string all;
    for (uint8_t s = 0; s < 128; ++s)
        if (s != kGsmEscape) all.push_back(GsmBasicChar(s));
    all += u"\f^{}\\[~]|\u20AC";
    PduCodec codec;
    std::u16string packed;
    ASSERT_EQ(codec.PackSeptets(all, packed), 127 + 20);
    std::u16string withLength = u"93" + packed;  // 147 septets
    EXPECT_EQ(codec.DecodeUserData(withLength, false), all);
}

}  // namespace
}  // namespace telvane
