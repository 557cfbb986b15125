#include "control/delivery_state.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace telvane {
namespace {

using State = DeliveryState;

TEST(DeliveryState, EntriesRoundTrip) {
    struct Case {
        std::u16string extra;
        std::vector<DeliveryEntry> entries;
    } cases[] = {
        {u"", {}},
        {u"+886912345678|0|pending", {{u"+886912345678", 0, State::kPending}}},
        {u"111|255|delivered;111|7|failed;*100#|12|pending",
         {{u"111", 255, State::kDelivered},
          {u"111", 7, State::kFailed},
          {u"*100#", 12, State::kPending}}},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseDeliveryEntries(c.extra);
        ASSERT_TRUE(parsed.has_value()) << U16ToUtf8(c.extra);
        EXPECT_EQ(*parsed, c.entries) << U16ToUtf8(c.extra);
        EXPECT_EQ(FormatDeliveryEntries(c.entries), c.extra);
    }
}

// A field that is not a list of entries is left to the caller untouched, never half-read.
TEST(DeliveryState, AnythingElseIsNotAList) {
    const std::u16string cases[] = {
        u"111;222",                       // an older record's recipient list
        u"111|256|pending",               // not one octet
        u"111|-1|pending",                //
        u"111|0012|pending",              // too many digits
        u"111||pending",                  //
        u"|5|pending",                    // no number
        u"111|5|Pending",                 // states are exact
        u"111|5|pending|x",               //
        u"111|5|pending;",                // an empty last entry
        u"111|5|pending;;222|6|pending",  //
        u"111|5",                         //
    };
    for (const auto& extra : cases)
        EXPECT_FALSE(ParseDeliveryEntries(extra).has_value()) << U16ToUtf8(extra);
}

TEST(DeliveryState, AppendAddsOneEntry) {
    std::u16string extra;
    AppendDeliveryEntry(extra, {u"111", 3, State::kPending});
    AppendDeliveryEntry(extra, {u"111", 4, State::kPending});
    EXPECT_EQ(extra, u"111|3|pending;111|4|pending");
}

}  // namespace
}  // namespace telvane
