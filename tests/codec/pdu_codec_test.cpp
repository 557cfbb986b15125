#include "codec/pdu_codec.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/text.h"

namespace telvane {
namespace {

struct Decoded {
    std::u16string number, time, text;
};

Decoded Decode(std::u16string_view pdu) {
    Decoded d;
    PduCodec().DecodeMessagePdu(pdu, d.number, d.time, d.text);
    return d;
}

TEST(EncodeTextSubmit, WorkedExamples) {
    PduCodec codec;
    int32_t length = 0;
    EXPECT_EQ(codec.EncodeTextSubmit(u"", u"+1234567", u"abc", length),
              u"00013C0791214365F700000361F118");
    EXPECT_EQ(length, 14);
    EXPECT_EQ(codec.EncodeTextSubmit(u"+123", u"+1234567", u"abc", length),
              u"039121F3013C0791214365F700000361F118");
    EXPECT_EQ(length, 14);
    EXPECT_EQ(codec.EncodeTextSubmit(u"123", u"1234", u"abc", length).substr(0, 18),
              u"038121F3013C048121");
    EXPECT_EQ(codec.EncodeTextSubmit(u"", u"+1234567", u"\u4F60\u597D", length),
              u"00013C0791214365F700080"
              u"44F60597D");
    EXPECT_EQ(length, 15);
}

TEST(EncodeTextSubmit, ChoosesCodingWithoutDroppingCharacters) {
    struct Case {
        std::u16string text;
        std::u16string tail;  // DCS, UDL, user data
    } cases[] = {
        {u"hellohello", u"000AE8329BFD4697D9EC37"},
        // GSM positions differ from ASCII: @ is 00, $ 02, _ 11
        {u"@$_", u"0003004104"},
        // extension characters take an escape each
        {u"[", u"00021B1E"},
        {u"\u20AC", u"00029B32"},
        // grave accent has no place in the alphabet, so the whole text goes UCS2
        {u"a`",
         u"0804"
         u"00610060"},
        {u"na\u00EFve",
         u"080A"
         u"006E006100EF00760065"},
        // letters of the alphabet above ASCII stay 7-bit, none dropped
        {u"caf\u00E9", u"0004E3B0B900"},
        {u"caf\u00E9 \u00A35 \u20AC", u"000AE3B0B9000AD4409B32"},
        {u"", u"0000"},
    };
    for (const auto& c : cases) {
        int32_t length = 0;
        std::u16string pdu = PduCodec().EncodeTextSubmit(u"", u"1", c.text, length);
        ASSERT_GE(pdu.size(), 14u);
        EXPECT_EQ(pdu.substr(14), c.tail) << U16ToUtf8(c.text);
        EXPECT_EQ(length, static_cast<int32_t>(pdu.size() - 2) / 2);
    }
}

TEST(EncodeAddress, SwapsAndFills) {
    struct Case {
        std::u16string number, digits;
        int32_t count;
    } cases[] = {
        {u"+1234567", u"214365F7", 7},
        {u"123456", u"214365", 6},
        {u"", u"", 0},
        {u"*100#", u"1A00FB", 5},
        {u"+", u"", 0},
    };
    for (const auto& c : cases) {
        std::u16string out = u"junk";
        EXPECT_EQ(PduCodec().EncodeAddress(c.number, out), c.count);
        EXPECT_EQ(out, c.digits);
    }
}

TEST(PackSeptets, LengthsAndRefusals) {
    PduCodec codec;
    std::u16string out = u"kept";
    EXPECT_EQ(codec.PackSeptets(u"", out), -1);
    EXPECT_EQ(codec.PackSeptets(u"\u4F60", out), -1);
    EXPECT_EQ(out, u"kept");
    EXPECT_EQ(codec.PackSeptets(u"1234567", out), 7);
    EXPECT_EQ(out.size(), 14u);
    EXPECT_EQ(codec.PackSeptets(u"12345678", out), 8);
    EXPECT_EQ(out.size(), 14u);
}

TEST(EncodeBinarySubmit, LayoutAndLength) {
    int32_t length = 0;
    std::u16string pdu =
        PduCodec().EncodeBinarySubmit(u"+123", u"+1234567", u"0B0504ABCDE", length);
    EXPECT_EQ(pdu, u"039121F3513C0791214365F700F5A7050B0504ABCDE");
    EXPECT_EQ(length, 17);  // octets after the service-centre field
}

TEST(MeasureText, CodingAndUnits) {
    struct Case {
        std::u16string text;
        TextCoding coding;
        int32_t units;
    } cases[] = {
        {u"", TextCoding::kGsm7, 0},
        {u"abc", TextCoding::kGsm7, 3},
        {u"a{b}", TextCoding::kGsm7, 6},
        {u"line\r\nbreak\f", TextCoding::kGsm7, 13},
        {u"a`", TextCoding::kUcs2, 2},
        {u"x\x01", TextCoding::kUcs2, 2},
        {u"\U0001F600", TextCoding::kUcs2, 2},
        {u"\u00E9", TextCoding::kGsm7, 1},
        {u"\u20AC", TextCoding::kGsm7, 2},
        {u"caf\u00E9 \u00A35 \u20AC", TextCoding::kGsm7, 10},
        {u"\u00C4\u00D1\u00DF\u0394\u03A9\u00FC\u00BF\u00A7", TextCoding::kGsm7, 8},
        {u"na\u00EFve", TextCoding::kUcs2, 5},
        {u"`tick`", TextCoding::kUcs2, 6},
        {u"\u00E7", TextCoding::kUcs2, 1},  // only the capital has a place
    };
    for (const auto& c : cases) {
        TextMeasure m = MeasureText(c.text);
        EXPECT_EQ(m.coding, c.coding) << U16ToUtf8(c.text);
        EXPECT_EQ(m.units, c.units) << U16ToUtf8(c.text);
    }
}

TEST(DecodeMessagePdu, WorkedExamples) {
    Decoded d = Decode(u"0791214365870921040791214365F70000107002112554000361F118");
    EXPECT_EQ(d.number, u"+1234567");
    EXPECT_EQ(d.time, u"01/07/20,11:52:45");
    EXPECT_EQ(d.text, u"abc");
    d = Decode(u"00013C0791214365F700000361F118");
    EXPECT_EQ(d.number, u"+1234567");
    EXPECT_EQ(d.time, u"");
    EXPECT_EQ(d.text, u"abc");
}

TEST(DecodeMessagePdu, ShortInputKeepsOutputs) {
    Decoded d{u"n", u"t", u"x"};
    PduCodec().DecodeMessagePdu(u"00013C07912", d.number, d.time, d.text);
    EXPECT_EQ(d.number, u"n");
    EXPECT_EQ(d.text, u"x");
}

TEST(DecodeMessagePdu, AtSignsAndFillSeptets) {
    // "@a@" then 7 and 8 characters filling seven octets: '@' (septet 0) is kept, fill is not.
    for (std::u16string text : {u"@a@", u"1234567", u"12345678", u"@@@@@@@", u"abcdef@"}) {
        int32_t length = 0;
        std::u16string pdu = PduCodec().EncodeTextSubmit(u"", u"+1", text, length);
        EXPECT_EQ(Decode(pdu).text, text);
    }
}

TEST(DecodeMessagePdu, TruncatedAndJunkInputStaysInBounds) {
    const std::u16string full =
        u"0791214365870921440791214365F70008107002112554000C0500030A0201"
        u"4F60597D";
    for (size_t n = 12; n <= full.size(); ++n)
        Decode(full.substr(0, n));
    Decode(u"FF" + std::u16string(600, u'F'));
    Decode(
        u"00"
        u"40"
        u"05"
        u"D0"
        u"ZZZZZZZZZZZZZZZZZZZZ");
    Decoded d = Decode(full);
    EXPECT_EQ(d.text, u"\u4F60\u597D");
}

// The alphabet follows the data coding scheme's group, not the value 08 alone.
TEST(DecodeMessagePdu, CodingGroups) {
    struct Case {
        std::u16string dcs, userData, text;
    } cases[] = {
        {u"00", u"0361F118", u"abc"},
        {u"F1", u"0361F118", u"abc"},
        {u"C8", u"0361F118", u"abc"},  // message waiting, 7-bit
        {u"08", u"044F60597D", u"\u4F60\u597D"},
        {u"18", u"044F60597D", u"\u4F60\u597D"},  // UCS2, class 0
        {u"19", u"044F60597D", u"\u4F60\u597D"},
        {u"48", u"044F60597D", u"\u4F60\u597D"},  // automatic deletion group
        {u"E0", u"044F60597D", u"\u4F60\u597D"},  // message waiting, UCS2
        {u"04", u"03610062", u"610062"},          // 8-bit data as hex
        {u"F5", u"030AFF00", u"0AFF00"},
    };
    for (const auto& c : cases) {
        std::u16string pdu = u"00040391214300" + c.dcs + u"10700211255400" + c.userData;
        EXPECT_EQ(Decode(pdu).text, c.text) << U16ToUtf8(c.dcs);
    }
}

TEST(DecodeMessagePdu, LayoutFromMessageTypeBits) {
    // stored SUBMIT with a relative validity period (first octet 11) and with UDH (51)
    Decoded d = Decode(u"0011000B818100551512F20000A70361F118");
    EXPECT_EQ(d.number, u"18005551212");
    EXPECT_EQ(d.time, u"");
    EXPECT_EQ(d.text, u"abc");
    // absolute validity (first octet 19): seven octets skipped
    EXPECT_EQ(Decode(u"0019000B818100551512F2000010700211255400"
                     u"0361F118")
                  .text,
              u"abc");
    // a user-data header with 7-bit fill: header 05 00 03 01 02 01 (6 octets) -> 7 septets
    d = Decode(
        u"0040"
        u"0B918100551512F20000"
        u"10700211255400"
        u"0A"
        u"050003010201C2E231");
    EXPECT_EQ(d.text, u"abc");
    // status report: recipient and time, no text
    d = Decode(
        u"0006"
        u"2A"
        u"0B918100551512F2"
        u"10700211255400"
        u"10700211255500"
        u"00");
    EXPECT_EQ(d.number, u"+18005551212");
    EXPECT_EQ(d.time, u"01/07/20,11:52:45");
    EXPECT_EQ(d.text, u"");
}

// Round trip over generated texts of both codings.
TEST(PduRoundTrip, GeneratedTexts) {
    std::mt19937 random(7);
    const std::u16string gsm = u"@$_[]{}\\^~|\f\r\nAZaz09 !\"#%&'()*+,-./:;<=>?";
    const std::u16string wide = u"\u4F60\u597D\u00E9\u20AC`\u03A9\x01";
    PduCodec codec;
    for (int round = 0; round < 400; ++round) {
        bool ucs2 = round % 2 == 1;
        size_t length = 1 + random() % (ucs2 ? 70 : 80);
        std::u16string text;
        for (size_t i = 0; i < length; ++i) {
            const std::u16string& pool = (ucs2 && random() % 3 == 0) ? wide : gsm;
            text.push_back(pool[random() % pool.size()]);
        }
        std::u16string number = round % 3 ? u"+886912345678" : u"0912345";
        int32_t tpdu = 0;
        std::u16string pdu = codec.EncodeTextSubmit(u"+886935000000", number, text, tpdu);
        Decoded d = Decode(pdu);
        EXPECT_EQ(d.text, text) << U16ToUtf8(pdu);
        EXPECT_EQ(d.number, number);
    }
}

TEST(DecodeParts, Helpers) {
    PduCodec codec;
    EXPECT_EQ(codec.DecodeAddress(u"0B918100551512F2"), u"+18005551212");
    EXPECT_EQ(codec.DecodeAddress(u"0481"), u"");
    EXPECT_EQ(codec.DecodeAddress(u"0D91683108501505F0"), u"+8613800551500");
    EXPECT_EQ(codec.DecodeAddress(u"0DD0F334FC1CA69701"), u"sipgate");
    EXPECT_EQ(codec.DecodeTimestamp(u"107002112554"), u"01/07/20,11:52:45");
    EXPECT_EQ(codec.DecodeTimestamp(u"1070021125"), u"");
    EXPECT_EQ(codec.DecodeUserData(u"044F60597D", true), u"\u4F60\u597D");
    EXPECT_EQ(codec.DecodeUserData(u"0361F118", false), u"abc");
    EXPECT_EQ(codec.UnpackSeptets(u"E8329BFD4697D9EC37"), u"hellohello");
    EXPECT_EQ(codec.UnpackSeptets(u"31D98C56B3DD00"), u"1234567");
    EXPECT_EQ(PduCodec::HexToInt(u""), 0);
    EXPECT_EQ(PduCodec::HexToInt(u"0a1B"), 0x0A1B);
}

}  // namespace
}  // namespace telvane
