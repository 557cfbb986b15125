#include "codec/smart_message_builder.h"

#include <gtest/gtest.h>

#include <vector>

namespace telvane {
namespace {

std::u16string Reference(const std::u16string& part) {
    return part.substr(18, 2);
}

TEST(BitmapToHex, PixelsAndInversion) {
    std::vector<int32_t> cells(72 * 28, 0);
    cells[0] = 1;
    cells[3] = 7;
    std::u16string hex = BitmapToHex(cells, false);
    ASSERT_EQ(hex.size(), 504u);
    EXPECT_EQ(hex.substr(0, 2), u"90");
    EXPECT_EQ(hex.find_first_not_of(u'0', 1), std::u16string::npos);
    EXPECT_EQ(BitmapToHex(std::vector<int32_t>(72 * 28, 0), true), std::u16string(504, u'F'));
    // a short grid reads as clear
    EXPECT_EQ(BitmapToHex({}, false), std::u16string(504, u'0'));
}

TEST(SmartMessageBuilder, PartsOfAPicture) {
    SmartMessageBuilder builder;
    std::u16string bitmap;
    for (int i = 0; i < 252; ++i)
        bitmap += (i < 113 ? u"AA" : i < 241 ? u"BB" : u"CC");
    ASSERT_EQ(builder.BuildPictureMessage(bitmap), 3);
    std::u16string ref = Reference(builder.GetPart(1));
    EXPECT_EQ(builder.GetPart(1), u"0B0504158A00000003" + ref +
                                      u"0301"
                                      u"3002010000481C01" +
                                      bitmap.substr(0, 226));
    EXPECT_EQ(builder.GetPart(2), u"0B0504158A00000003" + ref + u"0302" + bitmap.substr(226, 256));
    EXPECT_EQ(builder.GetPart(3), u"0B0504158A00000003" + ref + u"0303" + std::u16string(22, u'C'));
    EXPECT_LE(builder.GetPart(1).size(), 280u);
    EXPECT_EQ(builder.GetPart(0), u"");
    EXPECT_EQ(builder.GetPart(4), u"");

    ASSERT_EQ(builder.BuildScreenSaver(bitmap.substr(0, 226)), 1);
    EXPECT_EQ(builder.GetPart(1).substr(20, 20), u"01013006010000481C01");
}

TEST(SmartMessageBuilder, PartCountAtBoundaries) {
    SmartMessageBuilder builder;
    std::pair<size_t, int32_t> cases[] = {{0, 1}, {113, 1}, {114, 2}, {241, 2}, {242, 3}, {252, 3}};
    for (auto [octets, parts] : cases) {
        EXPECT_EQ(builder.BuildPictureMessage(std::u16string(octets * 2, u'0')), parts) << octets;
        EXPECT_EQ(builder.PartCount(), parts);
    }
    // the second part of a 114-octet payload holds one bitmap octet
    builder.BuildPictureMessage(std::u16string(226, u'0') + u"5A");
    EXPECT_EQ(builder.GetPart(2).substr(24), u"5A");
}

TEST(SmartMessageBuilder, ReferenceCountsUpAndWraps) {
    SmartMessageBuilder builder;
    builder.BuildPictureMessage(u"00");
    std::u16string firstRef = Reference(builder.GetPart(1));
    int first = std::stoi(std::string(firstRef.begin(), firstRef.end()), nullptr, 16);
    for (int i = 1; i <= 256; ++i) {
        builder.BuildOperatorLogo(u"00", u"46692");
        std::u16string ref = Reference(builder.GetPart(1));
        int value = std::stoi(std::string(ref.begin(), ref.end()), nullptr, 16);
        ASSERT_EQ(value, (first + i) % 256);
    }
}

TEST(SmartMessageBuilder, OperatorLogoNetworkCode) {
    struct Case {
        std::u16string code, start;
    } cases[] = {
        {u"45400", u"3054F4000A00480E01"},    {u"46692", u"3064F6290A00480E01"},
        {u"310260", u"301300620A00480E01"},  // three-digit MNC
        {u"46612", u"3064F6210A00480E01"},    {u"", u"3000F0000A00480E01"},
        {u"Chunghwa", u"3000F0000A00480E01"},
    };
    SmartMessageBuilder builder;
    for (const auto& c : cases) {
        ASSERT_EQ(builder.BuildOperatorLogo(std::u16string(252, u'1'), c.code), 2);
        EXPECT_EQ(builder.GetPart(1).substr(0, 18), u"0B0504158200000003");
        EXPECT_EQ(builder.GetPart(1).substr(24, 18), c.start);
        EXPECT_EQ(builder.GetPart(2).size(), 24u + 26u);  // 13 bitmap octets
    }
}

}  // namespace
}  // namespace telvane
