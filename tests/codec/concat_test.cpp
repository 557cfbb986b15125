// Long messages: the split into parts, the parts' headers, and joining received parts again.
// The fixtures are PDUs made by gammu 1.42 (savesms to the inbox, sendsms) for the texts below.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "codec/message_joiner.h"
#include "codec/pdu_codec.h"
#include "codec/response_parsers.h"
#include "platform/text.h"

namespace telvane {
namespace {

std::u16string Repeat(std::u16string_view phrase, size_t length) {
    std::u16string text;
    while (text.size() < length)
        text.append(phrase);
    text.resize(length);
    return text;
}

const std::u16string kLatin300 =
    Repeat(u"Long message from another encoder, part after part, with every word kept. ", 300);
const std::u16string kExtension200 = Repeat(
    u"Price: 5\u20AC [ok] {x} ~^|\\ caf\u00E9 \u00A3 \u0394 \u00C4\u00D6\u00DC \u00DF. ", 200);
const std::u16string kChinese80 =
    Repeat(u"\u4F60\u597D\uFF0C\u9019\u662F\u4E00\u5247\u5F88\u9577\u7684\u8A0A\u606F\u3002", 80);

// SMS-DELIVER parts from +886912345678, service centre +886932400821.
const std::u16string kGammuLatin300[] = {
    u"0791889623048012400C91889621436587000062210131830500A0050003350201986FF719D42ECF"
    u"E7E173196496BFDBA0B0FB4D4797E5A0B27BFC2697E52C103C2CA783C2667A590E8287E57416E89E"
    u"A6A341657B599E07DDDF7232685D86D35D20E6DB7D06B5CBF379F85C0699E5EF3628EC7ED3D16539"
    u"A8EC1EBFC965390B040FCBE9A0B0995E9683E061399D05BAA7E96850D95E96E741F7B79C0C5A97E1"
    u"741788F9769F41",
    u"0791889623048012400C918896214365870000622101318305009A050003350202DAE5F93C7C2E83"
    u"CCF2771B1476BFE9E8B21C54768FDFE4B29C058287E57450D84C2FCB41F0B09CCE02DDD37434A86C"
    u"2FCBF3A0FB5B4E06ADCB70BA0BC47CBBCFA076793E0F9FCB20B3FCDD0685DD6F3ABA2C0795DDE337"
    u"B92C6781E061391D1436D3CB72103C2CA7B340F7341D0D2ADBCBF23CE8FE969341EB329CEE0231DF"
    u"EE33",
};
const std::u16string kGammuChinese80[] = {
    u"0791889623048012400C918896214365870008622101319330008C0500030602014F60597DFF0C90"
    u"19662F4E0052475F88957776848A0A606F30024F60597DFF0C9019662F4E0052475F88957776848A"
    u"0A606F30024F60597DFF0C9019662F4E0052475F88957776848A0A606F30024F60597DFF0C901966"
    u"2F4E0052475F88957776848A0A606F30024F60597DFF0C9019662F4E0052475F88957776848A0A60"
    u"6F30024F60597D",
    u"0791889623048012400C9188962143658700086221013193300020050003060202FF0C9019662F4E"
    u"0052475F88957776848A0A606F30024F60597D",
};
const std::u16string kGammuExtension200[] = {
    u"0791889623048012400C91889621436587000062210131938000A00500030B0201A0F2F4B8AC03D5"
    u"3665D086F75E6F7CA00D0ABF498136BD0D6503DCBC40E3B0B9000A8020A02DD70BF2B84050797A5C"
    u"D6816A9B3268C37BAF373ED00685DFA4409BDE86B2016E5EA071D85C00054010D096EB05795C20A8"
    u"3C3D2EEB40B54D19B4E1BDD71B1F6883C26F52A04D6F43D900372FD0386C2E8002200868CBF5823C"
    u"2E10549E1E9775",
    u"0791889623048012400C91889621436587000062210131938000630500030B020240B54D19B4E1BD"
    u"D71B1F6883C26F52A04D6F43D900372FD0386C2E8002200868CBF5823C2E10549E1E9775A0DAA60C"
    u"DAF0DEEB8D0FB441E13729D0A6B7A16C809B17681C361740011004B4E57A411E1708",
};
// The same 300 characters as gammu sends them: SMS-SUBMIT, reference 3A, validity FF.
const std::u16string kGammuSubmit300[] = {
    u"079188962304801251000C918896214365870000FFA00500033A0201986FF719D42ECFE7E1731964"
    u"96BFDBA0B0FB4D4797E5A0B27BFC2697E52C103C2CA783C2667A590E8287E57416E89EA6A341657B"
    u"599E07DDDF7232685D86D35D20E6DB7D06B5CBF379F85C0699E5EF3628EC7ED3D16539A8EC1EBFC9"
    u"65390B040FCBE9A0B0995E9683E061399D05BAA7E96850D95E96E741F7B79C0C5A97E1741788F976"
    u"9F41",
    u"079188962304801251000C918896214365870000FF9A0500033A0202DAE5F93C7C2E83CCF2771B14"
    u"76BFE9E8B21C54768FDFE4B29C058287E57450D84C2FCB41F0B09CCE02DDD37434A86C2FCBF3A0FB"
    u"5B4E06ADCB70BA0BC47CBBCFA076793E0F9FCB20B3FCDD0685DD6F3ABA2C0795DDE337B92C6781E0"
    u"61391D1436D3CB72103C2CA7B340F7341D0D2ADBCBF23CE8FE969341EB329CEE0231DFEE33",
};

// A listing entry as the modem prints it.
SmsPart Listed(int32_t index, std::u16string_view pdu, const char16_t* status = u"REC UNREAD") {
    std::u16string block = u"+CMGL: " + Utf8ToU16(std::to_string(index)) + u",0,,159\r\n";
    block.append(pdu);
    block.append(u"\r\n");
    SmsPart part = ParseStoredMessagePart(block, index);
    part.record.status = status;
    return part;
}

std::u16string Crlf(std::u16string_view text) {
    std::u16string out(text);
    ExpandLineBreaks(out);
    return out;
}

TEST(MeasureParts, ComposeCounterFigures) {
    struct Case {
        std::u16string text;
        bool sixteenBit;
        TextCoding coding;
        int32_t units, messages, limit;
    } cases[] = {
        {u"", false, TextCoding::kGsm7, 0, 1, 160},
        {std::u16string(160, u'a'), false, TextCoding::kGsm7, 160, 1, 160},
        {std::u16string(161, u'a'), false, TextCoding::kGsm7, 161, 2, 306},
        {std::u16string(170, u'a'), false, TextCoding::kGsm7, 170, 2, 306},
        {std::u16string(170, u'a'), true, TextCoding::kGsm7, 170, 2, 304},
        {std::u16string(306, u'a'), false, TextCoding::kGsm7, 306, 2, 306},
        {std::u16string(1530, u'a'), false, TextCoding::kGsm7, 1530, 10, 1530},
        {std::u16string(1531, u'a'), false, TextCoding::kGsm7, 1531, 11, 1683},
        // 152 + an extension character's two septets do not fit 153: a third part
        {std::u16string(152, u'a') + u"\u20AC" + std::u16string(152, u'a') + u"\u20AC", false,
         TextCoding::kGsm7, 308, 3, 459},
        {std::u16string(70, u'\u4E2D'), false, TextCoding::kUcs2, 70, 1, 70},
        {std::u16string(71, u'\u4E2D'), false, TextCoding::kUcs2, 71, 2, 134},
        {std::u16string(71, u'\u4E2D'), true, TextCoding::kUcs2, 71, 2, 132},
        {std::u16string(66, u'x') + u"\U0001F600" + std::u16string(66, u'x'), false,
         TextCoding::kUcs2, 134, 3, 201},
    };
    for (const auto& c : cases) {
        PartsMeasure m = MeasureParts(c.text, c.sixteenBit);
        EXPECT_EQ(m.coding, c.coding) << c.text.size();
        EXPECT_EQ(m.units, c.units) << c.text.size();
        EXPECT_EQ(m.messages, c.messages) << c.text.size();
        EXPECT_EQ(m.limit, c.limit) << c.text.size();
    }
}

TEST(FittingPrefix, CutsWhereTheLimitIsReached) {
    struct Case {
        std::u16string text;
        int32_t maxParts;
        size_t length;
    } cases[] = {
        {std::u16string(1530, u'a'), 10, 1530},
        {std::u16string(2000, u'a'), 10, 1530},
        {std::u16string(200, u'a'), 1, 160},
        {u"", 1, 0},
        // a wide character past the cut does not make the kept start wide
        {std::u16string(170, u'a') + u"\u4E2D", 2, 170},
        {std::u16string(300, u'\u4E2D'), 2, 134},
        // a surrogate pair is kept whole or not at all
        {std::u16string(69, u'x') + u"\U0001F600", 1, 69},
        // and an extension character's two septets
        {std::u16string(159, u'a') + u"\u20AC" + u"a", 1, 159},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FittingPrefix(c.text, c.maxParts), c.length) << c.text.size();
}

// Every part decodes to its slice, carries its place, and the slices give back the text.
void ExpectParts(const TextSubmit& submit, std::u16string_view text, int32_t reference,
                 int32_t referenceBits, const std::vector<size_t>& sizes) {
    ASSERT_TRUE(submit.ok()) << U16ToUtf8(submit.reason);
    ASSERT_EQ(submit.parts.size(), sizes.size());
    std::u16string joined;
    PduCodec codec;
    for (size_t i = 0; i < sizes.size(); ++i) {
        const SubmitPart& part = submit.parts[i];
        EXPECT_EQ(part.tpduLength, static_cast<int32_t>(part.pdu.size() - 2) / 2);
        EXPECT_LE(part.tpduLength, 164);  // header fields + 140 octets of user data
        DecodedPdu d = codec.DecodePdu(part.pdu);
        EXPECT_EQ(d.kind, PduKind::kSubmit);
        EXPECT_EQ(d.text.size(), sizes[i]) << "part " << i + 1;
        if (sizes.size() == 1) {
            EXPECT_FALSE(d.concat);
        } else {
            ConcatInfo expected{reference, referenceBits, static_cast<int32_t>(sizes.size()),
                                static_cast<int32_t>(i + 1)};
            EXPECT_EQ(d.concat, expected) << "part " << i + 1;
        }
        joined += d.text;
    }
    EXPECT_EQ(joined, text);
}

TEST(EncodeTextMessage, SplitsIntoParts) {
    PduCodec codec;
    const std::u16string plain(300, u'p');
    ExpectParts(codec.EncodeTextMessage(u"", u"+1", plain, {0x12}), plain, 0x12, 8, {153, 147});
    ExpectParts(codec.EncodeTextMessage(u"", u"+1", plain, {0xBEEF, true}), plain, 0xBEEF, 16,
                {152, 148});
    // only the low octet of an 8-bit reference is sent
    ExpectParts(codec.EncodeTextMessage(u"", u"+1", plain, {0x1FF}), plain, 0xFF, 8, {153, 147});
    ExpectParts(codec.EncodeTextMessage(u"", u"+1", std::u16string(160, u'p')),
                std::u16string(160, u'p'), 0, 8, {160});

    // an extension character's escape and code stay together
    const std::u16string euro = std::u16string(152, u'a') + u"\u20AC" + std::u16string(10, u'b');
    ExpectParts(codec.EncodeTextMessage(u"", u"+1", euro, {7}), euro, 7, 8, {152, 11});
    // and so does a surrogate pair
    const std::u16string emoji = std::u16string(66, u'\u4E2D') + u"\U0001F600" + u"wxyz";
    ExpectParts(codec.EncodeTextMessage(u"", u"+1", emoji, {7}), emoji, 7, 8, {66, 6});
    ExpectParts(codec.EncodeTextMessage(u"", u"+1", kChinese80, {7}), kChinese80, 7, 8, {67, 13});
    ExpectParts(codec.EncodeTextMessage(u"", u"+1", kExtension200, {9}), kExtension200, 9, 8,
                {126, 74});
}

TEST(EncodeTextMessage, HeadersAndFirstOctets) {
    PduCodec codec;
    const std::u16string text(200, u'a');
    struct Case {
        SubmitOptions options;
        std::u16string head;  // first octet .. user-data header of part 1
    } cases[] = {
        {{0x2A},
         u"413C0181F10000A0050003"
         u"2A0201"},
        {{0x2A, false, true},
         u"613C0181F10000A0050003"
         u"2A0201"},
        {{0x1234, true}, u"413C0181F10000A006080412340201"},
    };
    for (const auto& c : cases) {
        TextSubmit submit = codec.EncodeTextMessage(u"", u"1", text, c.options);
        ASSERT_EQ(submit.parts.size(), 2u);
        EXPECT_EQ(submit.parts[0].pdu.substr(2, c.head.size()), c.head);
        EXPECT_TRUE(codec.DecodePdu(submit.parts[1].pdu).statusReportRequested ==
                    c.options.statusReport);
    }
    TextSubmit single = codec.EncodeTextMessage(u"", u"+1234567", u"abc", {0, false, true});
    ASSERT_EQ(single.parts.size(), 1u);
    EXPECT_EQ(single.parts[0].pdu, u"00213C0791214365F700000361F118");
}

// The user data of each part, fill bits included, is what another encoder makes.
TEST(EncodeTextMessage, SameUserDataAsGammu) {
    struct Case {
        const std::u16string* pdus;
        std::u16string text;
        int32_t reference;
        size_t userDataAt;  // in gammu's PDU
    } cases[] = {
        // SUBMIT: first octet 51, validity FF
        {kGammuSubmit300, kLatin300, 0x3A, 42},
        // DELIVER: the time stamp where our destination's fields end
        {kGammuLatin300, kLatin300, 0x35, 52},
        {kGammuChinese80, kChinese80, 0x06, 52},
        {kGammuExtension200, kExtension200, 0x0B, 52},
    };
    for (const auto& c : cases) {
        TextSubmit submit =
            PduCodec().EncodeTextMessage(u"+886932400821", u"+886912345678", c.text, {c.reference});
        ASSERT_EQ(submit.parts.size(), 2u);
        for (size_t i = 0; i < 2; ++i) {
            EXPECT_EQ(submit.parts[i].pdu.substr(0, 20), u"0791889623048012413C");
            EXPECT_EQ(submit.parts[i].pdu.substr(40), c.pdus[i].substr(c.userDataAt))
                << U16ToUtf8(c.text) << " part " << i + 1;
        }
    }
}

TEST(EncodeTextMessage, RefusesWhatItCannotEncode) {
    PduCodec codec;
    struct Case {
        std::u16string sc, to, text;
        SubmitError error;
        std::string reason;
    } cases[] = {
        {u"", u"", u"hi", SubmitError::kDestination, "Recipient: The number is empty."},
        {u"", u"+886 932", u"hi", SubmitError::kDestination, "Recipient: The number holds ' '"},
        {u"", std::u16string(300, u'1'), u"hi", SubmitError::kDestination,
         "Recipient: The number has 300 digits"},
        {u"+886\x1B\rAT+CMGD=1,4", u"1", u"hi", SubmitError::kServiceCentre,
         "SMS centre: The number holds a control character (U+001B)"},
        {u"", u"1", std::u16string(255 * 153 + 1, u'a'), SubmitError::kTooLong,
         "The text needs 256 messages; at most 255 can be joined."},
    };
    for (const auto& c : cases) {
        TextSubmit submit = codec.EncodeTextMessage(c.sc, c.to, c.text);
        EXPECT_EQ(submit.error, c.error) << c.reason;
        EXPECT_TRUE(submit.parts.empty()) << c.reason;
        EXPECT_EQ(U16ToUtf8(submit.reason).rfind(c.reason, 0), 0u) << U16ToUtf8(submit.reason);
    }
    EXPECT_EQ(codec.EncodeTextMessage(u"", u"1", std::u16string(255 * 153, u'a')).parts.size(),
              255u);

    // The one-message form never wraps a length octet: it refuses.
    int32_t length = 99;
    EXPECT_EQ(codec.EncodeTextSubmit(u"", u"1", std::u16string(300, u'a'), length), u"");
    EXPECT_EQ(length, 0);
    length = 99;
    EXPECT_EQ(codec.EncodeTextSubmit(u"", std::u16string(300, u'1'), u"a", length), u"");
    EXPECT_EQ(length, 0);
    length = 99;
    EXPECT_EQ(codec.EncodeBinarySubmit(u"", u"1", std::u16string(282, u'0'), length), u"");
    EXPECT_EQ(length, 0);
    EXPECT_NE(codec.EncodeBinarySubmit(u"", u"1", std::u16string(280, u'0'), length), u"");
}

TEST(JoinParts, PartsFromAnotherEncoder) {
    struct Case {
        const std::u16string* pdus;
        std::u16string text;
        ConcatInfo concat;
    } cases[] = {
        {kGammuLatin300, kLatin300, {0x35, 8, 2, 0}},
        {kGammuChinese80, kChinese80, {0x06, 8, 2, 0}},
        {kGammuExtension200, kExtension200, {0x0B, 8, 2, 0}},
    };
    for (const auto& c : cases) {
        // stored in reverse order, with an unrelated message between
        std::vector<SmsPart> parts = {
            Listed(4, c.pdus[1], u"REC READ"),
            Listed(5, u"0791214365870921040791214365F70000107002112554000361F118"),
            Listed(9, c.pdus[0], u"REC READ"),
        };
        std::vector<JoinedMessage> joined = JoinParts(parts);
        ASSERT_EQ(joined.size(), 2u);
        EXPECT_EQ(joined[0].record.text, c.text);
        EXPECT_EQ(joined[0].record.number, u"+886912345678");
        EXPECT_EQ(joined[0].record.index, 9);
        EXPECT_EQ(joined[0].indexes, (std::vector<int32_t>{9, 4}));
        EXPECT_EQ(joined[0].concat, c.concat);
        EXPECT_TRUE(joined[0].complete());
        EXPECT_EQ(joined[0].record.status, u"REC READ");
        EXPECT_EQ(joined[1].record.text, u"abc");
        EXPECT_EQ(joined[1].indexes, (std::vector<int32_t>{5}));
    }
}

TEST(JoinParts, GroupsAndMarksMissingParts) {
    auto part = [](int32_t index, const char16_t* number, ConcatInfo concat, const char16_t* text,
                   const char16_t* status = u"REC READ") {
        SmsPart p;
        p.record.index = index;
        p.record.number = number;
        p.record.status = status;
        p.record.time = u"26/12/01,10:00:0" + Utf8ToU16(std::to_string(index % 10));
        p.record.text = text;
        p.concat = concat;
        return p;
    };
    std::vector<SmsPart> parts = {
        part(1, u"+111", {5, 8, 3, 3}, u"three"),
        part(2, u"+111", {5, 8, 3, 1}, u"one "),
        part(3, u"+222", {5, 8, 3, 2}, u"other sender "),         // not the same message
        part(4, u"+111", {5, 16, 3, 2}, u"16-bit reference "),    // nor is this
        part(5, u"+111", {5, 8, 2, 2}, u"other total "),          // nor this
        part(6, u"+111", {5, 8, 3, 3}, u"three", u"REC UNREAD"),  // stored twice
        part(9, u"+111", {5, 8, 3, 3}, u"another"),  // that place is taken: another message
        part(7, u"+111", {5, 8, 3, 1}, u"line\r", u"STO SENT"),  // our own, kept apart
        part(8, u"+111", {5, 8, 3, 2}, u"\r\nbreak", u"STO SENT"),
    };
    std::vector<JoinedMessage> joined = JoinParts(parts);
    ASSERT_EQ(joined.size(), 6u);
    EXPECT_EQ(joined[0].record.text, u"one [part 2 of 3 missing]three");
    EXPECT_EQ(joined[0].indexes, (std::vector<int32_t>{2, 1, 6}));
    EXPECT_EQ(joined[0].record.index, 2);
    EXPECT_EQ(joined[0].record.time, u"26/12/01,10:00:02");
    EXPECT_EQ(joined[0].record.status, u"REC UNREAD");
    EXPECT_EQ(joined[0].missingParts, 1);
    EXPECT_FALSE(joined[0].complete());
    EXPECT_EQ(joined[1].record.text, u"[part 1 of 3 missing]other sender [part 3 of 3 missing]");
    EXPECT_EQ(joined[1].missingParts, 2);
    EXPECT_EQ(joined[2].record.text,
              u"[part 1 of 3 missing]16-bit reference [part 3 of 3 missing]");
    EXPECT_EQ(joined[3].record.text, u"[part 1 of 2 missing]other total ");
    // a CR LF cut between two parts is one line break again
    EXPECT_EQ(joined[5].record.text, u"line\r\nbreak[part 3 of 3 missing]");
    EXPECT_EQ(joined[5].record.status, u"STO SENT");
    EXPECT_EQ(joined[4].record.text, u"[part 1 of 3 missing][part 2 of 3 missing]another");
    EXPECT_EQ(joined[4].indexes, std::vector<int32_t>{9});

    EXPECT_EQ(JoinParts(parts, u"<%2/%1>")[3].record.text, u"<2/1>other total ");
    EXPECT_TRUE(JoinParts({}).empty());
}

// A real listing: two 13-part UCS2 messages (the second has parts 1-7 only) and eight short ones.
TEST(JoinParts, RealListingOfTwoLongMessages) {
    std::ifstream file(TELVANE_TESTDATA_DIR "/captures/huawei-semasim-28-concatenated.listing",
                       std::ios::binary);
    if (!file) GTEST_SKIP() << "the shared test data is not beside the checkout";
    std::stringstream content;
    content << file.rdbuf();
    const std::string listing = content.str();
    std::vector<SmsPart> parts;
    for (size_t at = listing.find("+CMGL:"); at != std::string::npos;) {
        size_t next = listing.find("+CMGL:", at + 1);
        std::string_view block(listing.data() + at,
                               (next == std::string::npos ? listing.size() : next) - at);
        parts.push_back(ParseStoredMessagePart(block, ValueAfterColon(block)));
        parts.back().record.status = u"REC UNREAD";
        at = next;
    }
    ASSERT_EQ(parts.size(), 28u);

    std::vector<JoinedMessage> joined = JoinParts(parts);
    ASSERT_EQ(joined.size(), 10u);
    const std::u16string line = Crlf(u"I build a long message! \u1F601\n");
    auto indexes = [](int32_t first, int32_t last) {
        std::vector<int32_t> v;
        for (int32_t i = first; i <= last; ++i)
            v.push_back(i);
        return v;
    };

    EXPECT_TRUE(joined[0].complete());
    EXPECT_EQ(joined[0].indexes, indexes(0, 12));
    EXPECT_EQ(joined[0].record.number, u"+33636786385");
    EXPECT_EQ(joined[0].record.time, u"17/02/06,00:04:19");
    EXPECT_EQ(joined[0].concat, (ConcatInfo{0x64, 8, 13, 0}));
    // parts 1-11 are whole (part 12's line is cut by an unsolicited report)
    EXPECT_EQ(joined[0].record.text.substr(0, 10 * line.size()), Repeat(line, 10 * line.size()));
    const std::u16string last =
        Crlf(u"e! \u1F601\nI build a long message! \u1F601\nI build a long message! \u1F601");
    ASSERT_GE(joined[0].record.text.size(), last.size());
    EXPECT_EQ(joined[0].record.text.substr(joined[0].record.text.size() - last.size()), last);

    EXPECT_EQ(joined[1].indexes, indexes(13, 19));
    EXPECT_EQ(joined[1].missingParts, 6);
    EXPECT_EQ(joined[1].record.text.substr(0, 3 * line.size()), Repeat(line, 3 * line.size()));
    std::u16string missing;
    for (int sequence = 8; sequence <= 13; ++sequence)
        missing += u"[part " + Utf8ToU16(std::to_string(sequence)) + u" of 13 missing]";
    ASSERT_GE(joined[1].record.text.size(), missing.size());
    EXPECT_EQ(joined[1].record.text.substr(joined[1].record.text.size() - missing.size()), missing);

    const char16_t* shortTexts[] = {u"D'd'd'd", u"Ddd",  u"Cxx", u"Xxx",
                                    u"xxddddx", u"Dfff", u"Fff", u"fxxxxf"};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(joined[2 + i].record.text, shortTexts[i]);
        EXPECT_EQ(joined[2 + i].indexes, indexes(20 + i, 20 + i));
        EXPECT_FALSE(joined[2 + i].concat);
    }
}

TEST(DecodePdu, StatusReports) {
    struct Case {
        std::u16string pdu;
        int32_t reference;
        std::u16string recipient, time;
        int32_t status;
        DeliveryStatus outcome;
    } cases[] = {
        {u"07914356060013F1065A098136397339F7219011700463802190117004638030", 0x5A, u"639337937",
         u"12/09/11,07:40:36", 0x30, DeliveryStatus::kPending},
        {u"0006D60B911326880736F4111011719551401110117195714000", 0xD6, u"+31628870634",
         u"11/01/11,17:59:15", 0x00, DeliveryStatus::kDelivered},
        {u"0791527422050000060911818967454365878967F5112112213012E11121122130122140", 0x09,
         u"98765434567898765", u"11/12/21,12:03:21", 0x40, DeliveryStatus::kFailed},
        // cut before its status: no status rather than a made-up one
        {u"0006D60B911326880736F41110117195514011101171957140", 0xD6, u"+31628870634",
         u"11/01/11,17:59:15", -1, DeliveryStatus::kFailed},
    };
    for (const auto& c : cases) {
        DecodedPdu d = PduCodec().DecodePdu(c.pdu);
        EXPECT_EQ(d.kind, PduKind::kStatusReport);
        EXPECT_EQ(d.messageReference, c.reference);
        EXPECT_EQ(d.number, c.recipient);
        EXPECT_EQ(d.time, c.time);
        EXPECT_EQ(d.status, c.status);
        EXPECT_EQ(d.text, u"");
        EXPECT_EQ(DeliveryStatusOf(d.status), c.outcome);
    }
    EXPECT_EQ(DeliveryStatusOf(0x1F), DeliveryStatus::kDelivered);
    EXPECT_EQ(DeliveryStatusOf(0x3F), DeliveryStatus::kPending);
    EXPECT_EQ(DeliveryStatusOf(0x60), DeliveryStatus::kFailed);
}

TEST(DecodePdu, ConcatenationHeaders) {
    // first octet 40 (DELIVER with header), 8-bit data so the header is easy to read
    auto deliver = [](std::u16string_view userData) {
        return u"0040"
               u"0391214300"
               u"04"
               u"10700211255400" +
               std::u16string(userData);
    };
    struct Case {
        std::u16string userData;
        std::optional<ConcatInfo> concat;
    } cases[] = {
        {u"06050003AB0302", ConcatInfo{0xAB, 8, 3, 2}},
        {u"0706080412340302", ConcatInfo{0x1234, 16, 3, 2}},
        {u"06050003AB0000", std::nullopt},    // sequence 0
        {u"06050003AB0204", std::nullopt},    // sequence past the total
        {u"06050003AB0001", std::nullopt},    // total 0
        {u"0605000412340302", std::nullopt},  // wrong element length
        // an application port element, then the concatenation element
        {u"0C0B0504158A00000003010302", ConcatInfo{0x01, 8, 3, 2}},
        // repeated: the last one counts
        {u"0B0A0003010201"
         u"0003020302",
         ConcatInfo{0x02, 8, 3, 2}},
        // the element runs past the header: ignored
        {u"06040003AB0302", std::nullopt},
    };
    for (const auto& c : cases) {
        DecodedPdu d = PduCodec().DecodePdu(deliver(c.userData));
        EXPECT_EQ(d.concat, c.concat) << U16ToUtf8(c.userData);
    }
}

}  // namespace
}  // namespace telvane

namespace telvane {
namespace {

// The Inbox keeps a joined message as one record: its note gives the parts back, so that joining
// them again (with a part that came later) gives the same message.
TEST(PartsNote, SplitAndJoinAgainGiveTheSameMessage) {
    auto part = [](int32_t index, int32_t sequence, const char16_t* text) {
        SmsPart p;
        p.record = {index, u"REC READ", u"+111", u"", u"26/12/01,10:00:00", text};
        p.concat = ConcatInfo{300, 16, 4, sequence};
        return p;
    };
    // Part 2 missing, part 4 there twice, a line break cut between parts 3 and 4.
    const std::vector<SmsPart> parts = {part(9, 4, u"\r\nfour"), part(2, 1, u"one "),
                                        part(5, 3, u"three\r"), part(7, 4, u"\r\nfour")};
    const JoinedMessage joined = JoinParts(parts).front();
    EXPECT_EQ(joined.record.text, u"one [part 2 of 4 missing]three\r\nfour");
    EXPECT_EQ(joined.record.extra, u"parts 300/16/4 1:2:4 2:-1:21 3:5:6 4:9:5 4:7:0");
    EXPECT_EQ(SimIndexes(joined.record), (std::vector<int32_t>{2, 5, 9, 7}));

    const std::vector<SmsPart> split = SplitJoined(joined.record);
    ASSERT_EQ(split.size(), 4u);
    EXPECT_EQ(split[2].record.text, u"\nfour");
    EXPECT_EQ(split[2].concat, (ConcatInfo{300, 16, 4, 4}));
    EXPECT_TRUE(split[0].record.extra.empty());
    std::vector<SmsPart> again = split;
    again.push_back(part(3, 2, u"two "));
    const JoinedMessage whole = JoinParts(again).front();
    EXPECT_EQ(whole.record.text, u"one two three\r\nfour");
    EXPECT_TRUE(whole.complete());
    EXPECT_EQ(whole.indexes, (std::vector<int32_t>{2, 3, 5, 9, 7}));
    EXPECT_EQ(JoinParts(split).front().record, joined.record);

    // A note that does not fit its text (or none): the record is one message of its own.
    SmsRecord edited = joined.record;
    edited.text += u"!";
    ASSERT_EQ(SplitJoined(edited).size(), 1u);
    EXPECT_FALSE(SplitJoined(edited)[0].concat);
    EXPECT_EQ(SplitJoined(edited)[0].record, edited);
}

TEST(PartsNote, OnlyAWellFormedNoteCounts) {
    EXPECT_TRUE(ParsePartsNote(u"parts 7/8/2 1:4:3 2:-1:21"));
    for (const char16_t* bad :
         {u"", u"NUMBER|12|pending", u"parts 7/8/2", u"parts 7/9/2 1:4:3", u"parts 256/8/2 1:4:3",
          u"parts 7/8/0 1:4:3", u"parts 7/8/2 3:4:3", u"parts 7/8/2 2:4:3 1:5:3",
          u"parts 7/8/2 1:-2:3", u"parts 7/8/2 1:4:-3", u"parts 7/8/2 1:4", u"parts 7/8/2 1:4:3 ",
          u"parts 7/8/2 1:4:3x", u"parts 7/8/2 1:4:99999999999"}) {
        EXPECT_FALSE(ParsePartsNote(bad)) << U16ToUtf8(bad);
    }
    SmsRecord plain;
    plain.index = 12;
    EXPECT_EQ(SimIndexes(plain), std::vector<int32_t>{12});
    plain.index = -1;
    EXPECT_TRUE(SimIndexes(plain).empty());
}

}  // namespace
}  // namespace telvane
