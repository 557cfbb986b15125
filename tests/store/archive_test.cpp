#include "store/archive.h"

#include <gtest/gtest.h>

#include "temp_folder.h"

namespace telvane {
namespace {

using testing::Hex;

std::string Encoded(std::u16string_view text) {
    ArchiveWriter out;
    out.WriteString(text);
    return out.Take();
}

TEST(Archive, StringLengthFormsAtTheirBoundaries) {
    struct Case {
        size_t length;
        std::string header;
    } cases[] = {
        {0, Hex("ff fe ff 00")},
        {1, Hex("ff fe ff 01")},
        {254, Hex("ff fe ff fe")},
        {255, Hex("ff fe ff ff ff 00")},
        {0xFFFD, Hex("ff fe ff ff fd ff")},
        {0xFFFE, Hex("ff fe ff ff ff ff fe ff 00 00")},
        {0x10000, Hex("ff fe ff ff ff ff 00 00 01 00")},
    };
    for (const auto& c : cases) {
        const std::u16string text(c.length, u'\u4e2d');
        const std::string bytes = Encoded(text);
        ASSERT_EQ(bytes.size(), c.header.size() + 2 * c.length) << c.length;
        EXPECT_EQ(bytes.substr(0, c.header.size()), c.header) << c.length;
        if (c.length) {
            EXPECT_EQ(bytes.substr(c.header.size(), 2), Hex("2d 4e"));
        }

        ArchiveReader in(bytes);
        std::u16string back;
        EXPECT_TRUE(in.ReadString(back)) << c.length;
        EXPECT_EQ(back, text);
        EXPECT_TRUE(in.AtEnd());
    }
}

TEST(Archive, IntegersAreLittleEndianAndSigned) {
    ArchiveWriter out;
    out.WriteInt32(1);
    out.WriteInt32(-1);
    out.WriteInt32(0x12345678);
    EXPECT_EQ(out.Bytes(), Hex("01000000 ffffffff 78563412"));
    ArchiveReader in(out.Bytes());
    int32_t a = 0, b = 0, c = 0;
    EXPECT_TRUE(in.ReadInt32(a) && in.ReadInt32(b) && in.ReadInt32(c));
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, -1);
    EXPECT_EQ(c, 0x12345678);
}

TEST(Archive, MalformedInputFailsAndStaysFailed) {
    const char* cases[] = {
        "",                                     // nothing at all
        "ff fe",                                // marker cut short
        "ff fe ff",                             // no length
        "ff fe ff 02 41 00",                    // fewer units than the length says
        "ff fe ff ff 10",                       // 16-bit length cut short
        "ff fe ff ff ff ff ff ff ff",           // 32-bit length cut short
        "ff fe ff ff ff ff ff ff ff 7f 41 00",  // 2^31 units claimed: refused, not allocated
        "ff fe ff ff fe ff 00",                 // a second marker
        "03 41 42 43",                          // a narrow string
        "ff fe fe 00",                          // wrong marker
    };
    for (const char* hex : cases) {
        const std::string bytes = Hex(hex);
        ArchiveReader in(bytes);
        std::u16string text = u"kept?";
        EXPECT_FALSE(in.ReadString(text)) << hex;
        EXPECT_TRUE(in.Failed()) << hex;
        int32_t value = 0;
        EXPECT_FALSE(in.ReadInt32(value)) << hex;
    }
}

}  // namespace
}  // namespace telvane
