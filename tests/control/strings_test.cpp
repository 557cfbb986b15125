#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "control/operator_label.h"
#include "control/ui_strings.h"

namespace telvane {
namespace {

// Restores the English interface whatever a test switched to.
class LanguageTest : public ::testing::Test {
  protected:
    void TearDown() override { SetLanguage(0); }
};

TEST_F(LanguageTest, PairsFollowTheLanguageFlag) {
    struct Case {
        int chineseId, englishId;
        std::u16string chinese, english;
    };
    const Case cases[] = {
        {104, 105, u"連接中", u"Connecting"},
        {108, 110, u"請先連線", u"Please connect first"},  // not adjacent ids
        {117, 118, u"電話號碼不正確﹐\r\n請重新輸入。", u"Invalid phone number"},
        {143, 144, u"載入智能卡電話薄...", u"Loading SIM phonebook..."},
        {165, 166, u"傳送完成", u"Send complete"},
        {167, 168, u"無法讀取智能卡上的短訊", u"Could not read the messages on the SIM"},
    };
    for (const Case& c : cases) {
        SetLanguage(0);
        EXPECT_EQ(LoadUiString(c.chineseId, c.englishId), c.english) << c.englishId;
        SetLanguage(1);
        EXPECT_EQ(LoadUiString(c.chineseId, c.englishId), c.chinese) << c.chineseId;
    }
    SetLanguage(7);  // any nonzero setting is Chinese
    EXPECT_EQ(chineseUi.load(), 1);
}

TEST_F(LanguageTest, LanguageNamesAndMissingIds) {
    for (int language : {0, 1}) {
        SetLanguage(language);
        EXPECT_EQ(LoadStringById(79), u"中文 ");
        EXPECT_EQ(LoadStringById(80), u"English");
        EXPECT_EQ(LoadStringById(109), u"");
        EXPECT_EQ(LoadUiString(19, 20), u"");
        EXPECT_EQ(LoadStringById(0), u"");
        EXPECT_EQ(LoadStringById(100000), u"");
    }
}

TEST_F(LanguageTest, EveryPairHasBothTexts) {
    // The interface pairs 1/2 .. 167/168 as the window and the controller use them.
    const int pairs[][2] = {{1, 2},     {3, 4},     {5, 6},     {7, 8},     {9, 10},    {11, 12},
                            {13, 14},   {15, 16},   {17, 18},   {21, 22},   {23, 24},   {25, 26},
                            {27, 28},   {29, 30},   {31, 32},   {33, 34},   {35, 36},   {37, 38},
                            {39, 40},   {41, 42},   {43, 44},   {45, 46},   {47, 48},   {49, 50},
                            {51, 52},   {53, 54},   {55, 56},   {57, 58},   {59, 60},   {61, 62},
                            {63, 64},   {65, 66},   {67, 68},   {69, 70},   {71, 72},   {73, 74},
                            {77, 78},   {88, 89},   {102, 103}, {104, 105}, {106, 107}, {108, 110},
                            {111, 112}, {113, 114}, {117, 118}, {119, 120}, {121, 122}, {123, 124},
                            {125, 126}, {141, 142}, {143, 144}, {145, 146}, {147, 148}, {149, 150},
                            {151, 152}, {153, 154}, {155, 156}, {157, 158}, {159, 160}, {161, 162},
                            {163, 164}, {165, 166}, {167, 168}, {169, 170}};
    for (const auto& pair : pairs) {
        const std::u16string chinese = LoadStringById(pair[0]);
        const std::u16string english = LoadStringById(pair[1]);
        EXPECT_FALSE(chinese.empty()) << pair[0];
        EXPECT_FALSE(english.empty()) << pair[1];
        EXPECT_NE(chinese, english) << pair[0];
        EXPECT_TRUE(std::all_of(english.begin(), english.end(), [](char16_t c) {
            return c < 0x80;
        })) << pair[1];
    }
}

TEST_F(LanguageTest, OperatorLabels) {
    struct Case {
        std::u16string text;
        bool online;
        std::u16string chinese, english;
    };
    const Case cases[] = {
        {u"45406", true, u"數碼通", u"SmarTone"},
        {u"45400", true, u"香港電訊", u"Telecom CSL"},
        {u"45416", true, u"HK SUNDAY", u"Sunday"},
        {u"20801", true, u"France Telecom", u"France Telecom"},  // no Chinese name
        {u"20201", true, u"Cosmote", u"Cosmote"},                // first of the table
        {u"73402", true, u"Digitel", u"Digitel"},                // last of the table
        {u"46692", true, u"LDTA", u"LDTA"},
        {u"99999", true, u"Nubo Ltd.", u"Nubo Ltd."},
        {u"466920", true, u"Nubo Ltd.", u"Nubo Ltd."},  // three-digit network code
        {u"", true, u"Nubo Ltd.", u"Nubo Ltd."},
        {u"No network", true, u"找不到網絡", u"No network"},
        // A name the modem gave stays as it is, even one that starts with a digit.
        {u"Chunghwa Telecom", true, u"Chunghwa Telecom", u"Chunghwa Telecom"},
        {u"3 UK", true, u"3 UK", u"3 UK"},
        {u" 45406 ", true, u"數碼通", u"SmarTone"},
        {u"45406", false, u"離線", u"Offline"},
        {u"No network", false, u"離線", u"Offline"},
    };
    for (const Case& c : cases) {
        SetLanguage(1);
        EXPECT_EQ(OperatorLabel(c.text, c.online), c.chinese);
        SetLanguage(0);
        EXPECT_EQ(OperatorLabel(c.text, c.online), c.english);
    }
}

}  // namespace
}  // namespace telvane
