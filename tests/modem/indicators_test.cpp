// Indicator lists of real phones and modems, and what their +CIEV reports change.
#include <gtest/gtest.h>

#include <string>

#include "modem/indicators.h"

namespace telvane {
namespace {

TEST(Indicators, ListsFindSignalServiceAndRoam) {
    struct Case {
        const char* line;
        IndicatorMap map;
    } cases[] = {
        // A handset's usual list.
        {"+CIND: (\"battchg\",(0-5)),(\"signal\",(0-5)),(\"service\",(0-1)),(\"message\",(0-1)),"
         "(\"call\",(0-1)),(\"roam\",(0-1)),(\"smsfull\",(0-1))",
         {2, 5, 3, 6}},
        // Value lists instead of ranges, other names in front, names in capitals.
        {"+CIND: (\"Voice Mail\",(0,1)),(\"service\",(0,1)),(\"call\",(0,1)),(\"Roam\",(0-2)),"
         "(\"signal\",(0-5)),(\"callsetup\",(0-3)),(\"smsfull\",(0,1))",
         {5, 5, 2, 4}},
        // "rssi" of 0-4, no roaming indicator; blanks between groups.
        {"+CIND: (\"battchg\",(0-5)), (\"rssi\",(0-4)), (\"service\",(0-1))", {2, 4, 3, 0}},
        // Names without quotes.
        {"+CIND: (battchg,(0-5)),(signal,(0-5))", {2, 5, 0, 0}},
        // A bracket inside a quoted name belongs to the name.
        {"+CIND: (\"bat(t)\",(0-5)),(\"signal\",(0-5))", {2, 5, 0, 0}},
        // Cut short: the whole groups before the cut stand.
        {"+CIND: (\"service\",(0-1)),(\"signal\",(0-", {0, 5, 1, 0}},
        // A signal without a range cannot be scaled: left out.
        {"+CIND: (\"signal\"),(\"service\",(0-1))", {0, 5, 2, 0}},
        {"+CIND: (\"battchg\",(0-5)),(\"call\",(0-1))", {}},
        {"+CIND: 5,3,1,0,0,0,0", {}},  // the read form: values, no names
        {"", {}},
        {"ERROR", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseIndicatorList(c.line), c.map) << c.line;
    EXPECT_FALSE(IndicatorMap{}.Any());
}

TEST(Indicators, ReportsMapByPosition) {
    const IndicatorMap five{2, 5, 3, 6};
    const IndicatorMap four{2, 4, 3, 0};
    struct Case {
        const char* line;
        const IndicatorMap& map;
        int32_t bars, service, roam;
    } cases[] = {
        {"+CIEV: 2,3", five, 3, -1, -1},
        {"+CIEV: 2,0", five, 0, -1, -1},
        {"+CIEV:2,5", five, 5, -1, -1},
        {"+CIEV: 2,4", four, 5, -1, -1},  // 4 of 4 is full
        {"+CIEV: 2,2", four, 3, -1, -1},  // 2.5 rounds up
        {"+CIEV: 2,1", four, 1, -1, -1},
        {"+CIEV: 2,6", five, -1, -1, -1},  // out of range: not known
        {"+CIEV: 3,0", five, -1, 0, -1},
        {"+CIEV: 3,1", five, -1, 1, -1},
        {"+CIEV: 6,1", five, -1, -1, 1},
        {"+CIEV: 6,2", five, -1, -1, 1},   // any roaming
        {"+CIEV: 6,1", four, -1, -1, -1},  // no roam indicator listed
        {"+CIEV: 1,3", five, -1, -1, -1},  // the battery
        {"+CIEV: 2", five, -1, -1, -1},
        {"+CIEV: 2,3,1", five, -1, -1, -1},
        {"+CIEV: x,3", five, -1, -1, -1},
        {"+CIEV: 0,3", IndicatorMap{}, -1, -1, -1},
        {"+CSQ: 2,3", five, -1, -1, -1},
    };
    for (const Case& c : cases) {
        const IndicatorReport r = ParseIndicatorEvent(c.line, c.map);
        EXPECT_EQ(r.bars, c.bars) << c.line;
        EXPECT_EQ(r.service, c.service) << c.line;
        EXPECT_EQ(r.roam, c.roam) << c.line;
    }
}

// The bars move; the dBm of the last +CSQ stays only while it agrees with them.
TEST(Indicators, SignalKeepsAnAgreeingRssiOnly) {
    struct Case {
        int32_t levelBefore, rssiBefore, bars;
        int32_t level, rssi;
        bool changed;
    } cases[] = {
        {5, 20, 5, 5, 20, false}, {5, 20, 3, 3, -1, true},
        {3, 15, 3, 3, 15, false}, {0, -1, 2, 2, -1, true},
        {2, -1, 2, 2, -1, false}, {0, 5, 0, 0, 5, false},  // rssi 5 shows no bar
    };
    for (const Case& c : cases) {
        ModemParseState state;
        state.signalLevel = c.levelBefore;
        state.rssi = c.rssiBefore;
        bool roaming = false;
        const IndicatorEffect effect = ApplyIndicator({.bars = c.bars}, {state, roaming});
        EXPECT_EQ(state.signalLevel, c.level) << c.rssiBefore << " " << c.bars;
        EXPECT_EQ(state.rssi, c.rssi) << c.rssiBefore << " " << c.bars;
        EXPECT_EQ(effect.signal, c.changed) << c.rssiBefore << " " << c.bars;
        EXPECT_FALSE(effect.registration);
    }
}

TEST(Indicators, ServiceAndRoamingMoveTheRegistration) {
    struct Case {
        int32_t statBefore;
        bool roamingBefore;
        IndicatorReport report;
        int32_t stat;
        bool roaming;
    } cases[] = {
        {1, false, {.service = 0}, 0, false},
        {5, true, {.service = 0}, 0, true},
        {-1, false, {.service = 0}, 0, false},
        {2, false, {.service = 0}, 2, false},  // searching stays
        {3, false, {.service = 0}, 3, false},  // denied stays
        {0, false, {.service = 1}, 1, false},
        {2, true, {.service = 1}, 5, true},  // back, still roaming
        {1, false, {.service = 1}, 1, false},
        {1, false, {.roam = 1}, 5, true},
        {5, true, {.roam = 0}, 1, false},
        {7, false, {.roam = 1}, 7, true},  // roaming already (SMS only)
        {0, false, {.roam = 1}, 0, true},  // remembered for the service's return
        {2, false, {.bars = 3}, 2, false},
    };
    for (const Case& c : cases) {
        ModemParseState state;
        state.registrationStat = c.statBefore;
        state.registered = c.statBefore == 1 || c.statBefore == 5;
        bool roaming = c.roamingBefore;
        const IndicatorEffect effect = ApplyIndicator(c.report, {state, roaming});
        EXPECT_EQ(state.registrationStat, c.stat) << c.statBefore;
        EXPECT_EQ(state.registered, c.stat == 1 || c.stat == 5) << c.statBefore;
        EXPECT_EQ(roaming, c.roaming) << c.statBefore;
        EXPECT_EQ(effect.registration, c.stat != c.statBefore) << c.statBefore;
    }
}

}  // namespace
}  // namespace telvane
