// The status line's count of messages the Inbox has no room for, store by store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/more_messages.h"
#include "control/ui_strings.h"

namespace telvane {
namespace {

std::vector<std::string> Stores(std::initializer_list<std::pair<const char*, int>> counts) {
    std::vector<std::string> stores;
    for (const auto& [store, count] : counts)
        stores.insert(stores.end(), static_cast<size_t>(count), store);
    return stores;
}

TEST(MoreMessages, CountedPerStoreSimFirstInBothLanguages) {
    struct Case {
        std::vector<std::string> stores;
        int32_t unlisted;
        const char16_t* english;
        const char16_t* chinese;
    } cases[] = {
        {{}, 0, u"", u""},
        {Stores({{"SM", 3}}), 0, u"3 more messages on the SIM", u"智能卡上另有 3 則短訊"},
        // A modem that names no store: its messages are the SIM's.
        {Stores({{"", 2}, {"SM", 1}}), 0, u"3 more messages on the SIM", u"智能卡上另有 3 則短訊"},
        {Stores({{"ME", 4}}), 0, u"4 more messages in the phone", u"手機記憶體中另有 4 則短訊"},
        {Stores({{"ME", 2}, {"SM", 3}}), 0, u"3 more messages on the SIM, 2 in the phone",
         u"智能卡上另有 3 則短訊，手機中 2 則"},
        {Stores({{"MT", 1}, {"ME", 2}}), 0, u"2 more messages in the phone, 1 in the MT store",
         u"手機記憶體中另有 2 則短訊，MT 儲存區 1 則"},
        {Stores({{"MT", 5}}), 0, u"5 more messages in the MT store", u"MT 儲存區另有 5 則短訊"},
        // What a listing stopped short of on the SIM joins the SIM's count.
        {Stores({{"ME", 1}}), 7, u"7 more messages on the SIM, 1 in the phone",
         u"智能卡上另有 7 則短訊，手機中 1 則"},
        {{}, 30, u"30 more messages on the SIM", u"智能卡上另有 30 則短訊"},
        {{}, -1, u"", u""},
    };
    for (const Case& c : cases) {
        SetLanguage(0);
        EXPECT_EQ(MoreMessagesText(c.stores, c.unlisted), c.english) << c.stores.size();
        SetLanguage(1);
        EXPECT_EQ(MoreMessagesText(c.stores, c.unlisted), c.chinese) << c.stores.size();
    }
    SetLanguage(0);
}

}  // namespace
}  // namespace telvane
