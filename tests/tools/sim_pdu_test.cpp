// The simulator's own encoder and text-mode decoder, checked against real PDUs collected by
// other projects.
#include "modemsim/sim_pdu.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/text.h"
#include "support/testdata.h"

namespace telvane::modemsim {
namespace {

struct Row {
    std::string id, pdu, type, number, timestamp, dcs, udh, text;
};

// The corpus escapes \n, \r, \\ and \uXXXX.
std::u16string Unescape(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out += static_cast<char16_t>(static_cast<unsigned char>(s[i]));
            continue;
        }
        char e = s[++i];
        if (e == 'n')
            out += u'\n';
        else if (e == 'r')
            out += u'\r';
        else if (e == 'u' && i + 4 < s.size()) {
            out += static_cast<char16_t>(std::stoi(s.substr(i + 1, 4), nullptr, 16));
            i += 4;
        } else
            out += static_cast<char16_t>(e);
    }
    return out;
}

std::vector<Row> Corpus() {
    std::ifstream in(std::string(TELVANE_TESTDATA_DIR) + "/pdus.tsv");
    std::vector<Row> rows;
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        std::string field;
        while (std::getline(ss, field, '\t'))
            f.push_back(field);
        if (f.size() < 9) continue;
        rows.push_back({f[0], f[2], f[3], f[4], f[5], f[6], f[7], f.size() > 8 ? f[8] : ""});
    }
    return rows;
}

TEST(SimPdu, EncodesAndDecodesLikeRealPdus) {
    SKIP_WITHOUT_TESTDATA();
    std::vector<Row> rows = Corpus();
    ASSERT_GE(rows.size(), 80u);
    int encoded = 0;
    int decoded = 0;
    for (const Row& r : rows) {
        bool text = (r.dcs == "00" || r.dcs == "08") && r.type != "status";
        if (!text) continue;
        DecodedMessage d = DecodeForTextMode(r.pdu);
        EXPECT_EQ(d.number, U16ToUtf8(Unescape(r.number))) << r.id;
        EXPECT_EQ(d.time.substr(0, 17), r.timestamp) << r.id;
        EXPECT_EQ(d.text, U16ToUtf8(Unescape(r.text))) << r.id;
        ++decoded;
        // Re-encode the DELIVERs that use our header: first octet 04, PID 00, a numeric sender.
        size_t tpdu = 2 + 2 * std::stoi(r.pdu.substr(0, 2), nullptr, 16);
        if (r.type != "deliver" || r.udh != "no" || r.pdu.substr(tpdu, 2) != "04") continue;
        size_t oaDigits = std::stoi(r.pdu.substr(tpdu + 2, 2), nullptr, 16);
        size_t pid = tpdu + 6 + (oaDigits + 1) / 2 * 2;
        if (r.pdu.substr(pid, 2) != "00" ||
            r.number.find_first_not_of("+0123456789") != std::string::npos)
            continue;
        auto again = EncodeDeliver("", r.number, d.time, Unescape(r.text));
        ASSERT_TRUE(again) << r.id;
        EXPECT_EQ(*again, "00" + r.pdu.substr(tpdu)) << r.id;
        ++encoded;
    }
    EXPECT_GE(decoded, 40);
    EXPECT_GE(encoded, 10);
}

TEST(SimPdu, EncoderCases) {
    // Extension characters take two septets; a text outside the alphabet goes UCS2 whole.
    EXPECT_EQ(EncodeDeliver("+123456789012", "+1234567", "01/07/20,11:52:45", u"abc"),
              "0791214365870921040791214365F70000107002112554000361F118");
    auto euro = EncodeDeliver("", "+1234567", "01/07/20,11:52:45-08", u"@€");
    ASSERT_TRUE(euro);
    EXPECT_EQ(euro->substr(euro->size() - 8), "03804D19");  // @ 00, ESC 1B, 65: three septets
    EXPECT_EQ(DecodeForTextMode(*euro).text, "@€");
    EXPECT_EQ(DecodeForTextMode(*euro).time, "01/07/20,11:52:45-08");
    auto grave = EncodeDeliver("", "+1234567", "01/07/20,11:52:45", u"`");
    ASSERT_TRUE(grave);
    EXPECT_EQ(grave->substr(grave->size() - 6), "020060");
    auto alpha = EncodeDeliver("", "Telvane", "01/07/20,11:52:45", u"x");
    ASSERT_TRUE(alpha);
    EXPECT_EQ(DecodeForTextMode(*alpha).number, "Telvane");
    EXPECT_FALSE(EncodeDeliver("", "+1", "01/07/20,11:52", u"x"));
    EXPECT_FALSE(EncodeDeliver("", "+1", "01/07/20,11:52:45", std::u16string(161, u'a')));
    EXPECT_FALSE(EncodeDeliver("", "+1", "01/07/20,11:52:45", std::u16string(71, u'中')));
    auto draft = EncodeStoredSubmit("0912345678", u"hi");
    ASSERT_TRUE(draft);
    EXPECT_EQ(SubmitDestination(*draft), "0912345678");
    EXPECT_EQ(DecodeForTextMode(*draft).text, "hi");
    EXPECT_EQ(DecodeForTextMode(*draft).time, "");
    EXPECT_EQ(TpduLength(*draft), static_cast<int>(draft->size() / 2 - 1));
    EXPECT_EQ(TpduLength("07912143"), -1);
}

// Long texts split as phones do: 153 septets or 67 units a part, nothing split in two, and the
// parts decode back to the whole text.
TEST(SimPdu, ConcatenatedParts) {
    const std::u16string pair = u"\U0001F600";  // a surrogate pair
    struct Case {
        const char* name;
        std::u16string text;
        std::vector<size_t> lengths;  // characters (UTF-16 units) in each part
    } cases[] = {
        {"fits one", std::u16string(160, u'a'), {160}},
        {"7-bit", std::u16string(161, u'a'), {153, 8}},
        {"extension kept whole",
         std::u16string(152, u'a') + u"€" + std::u16string(10, u'b'),
         {152, 11}},
        {"UCS2", std::u16string(71, u'中'), {67, 4}},
        {"pair kept whole", std::u16string(66, u'中') + pair + u"xxxxx", {66, 7}},
        {"three parts", std::u16string(307, u'z'), {153, 153, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto parts = EncodeDeliverParts("+886932400821", "+886912345678", "26/12/10,08:00:00+32",
                                        c.text, 42);
        ASSERT_TRUE(parts);
        ASSERT_EQ(parts->size(), c.lengths.size());
        std::u16string joined;
        for (size_t i = 0; i < parts->size(); ++i) {
            std::u16string text = Utf8ToU16(DecodeForTextMode((*parts)[i]).text);
            EXPECT_EQ(text.size(), c.lengths[i]) << i;
            joined += text;
            auto header = ConcatenationOf((*parts)[i]);
            EXPECT_EQ(header.has_value(), parts->size() > 1);
            if (header) {
                EXPECT_EQ(header->reference, 42);
                EXPECT_EQ(header->total, static_cast<int>(parts->size()));
                EXPECT_EQ(header->part, static_cast<int>(i) + 1);
                EXPECT_FALSE(header->sixteenBit);
            }
            EXPECT_LE(TpduLength((*parts)[i]), 164);
        }
        EXPECT_EQ(joined, c.text);
    }
    EXPECT_EQ(
        *EncodeDeliverParts("", "+1234567", "01/07/20,11:52:45", u"abc", 1),
        std::vector<std::string>{*EncodeDeliver("", "+1234567", "01/07/20,11:52:45", u"abc")});
    EXPECT_FALSE(
        EncodeDeliverParts("", "+1", "01/07/20,11:52:45", std::u16string(256 * 67, u'中'), 1));

    auto drafts = EncodeStoredSubmitParts("0912345678", std::u16string(200, u'd'), 7);
    ASSERT_TRUE(drafts);
    ASSERT_EQ(drafts->size(), 2u);
    EXPECT_EQ(SubmitDestination((*drafts)[1]), "0912345678");
    EXPECT_EQ(ConcatenationOf((*drafts)[1])->part, 2);

    // Headers from elsewhere: gammu's 8-bit one, a 16-bit one behind another element, none.
    struct Header {
        const char* pdu;
        std::optional<Concatenation> expected;
    } headers[] = {
        {"0791889623048012400C9188962143658700006221014145350019050003EE0202EE73101D5D06DDD16F"
         "7619442FE3E92E",
         Concatenation{0xEE, 2, 2, false}},
        {"0041000B818096214365F700080C0B0A03000000080412340301", Concatenation{0x1234, 3, 1, true}},
        {"0791214365870921040791214365F70000107002112554000361F118", std::nullopt},
        {"0041", std::nullopt},
    };
    for (const Header& h : headers) {
        auto got = ConcatenationOf(h.pdu);
        ASSERT_EQ(got.has_value(), h.expected.has_value()) << h.pdu;
        if (got) {
            EXPECT_EQ(got->reference, h.expected->reference);
            EXPECT_EQ(got->total, h.expected->total);
            EXPECT_EQ(got->part, h.expected->part);
            EXPECT_EQ(got->sixteenBit, h.expected->sixteenBit);
        }
    }
}

}  // namespace
}  // namespace telvane::modemsim
