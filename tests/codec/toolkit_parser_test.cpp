#include "codec/toolkit_parser.h"

#include <gtest/gtest.h>

namespace telvane {
namespace {

TEST(ParseToolkitInfo, MenuAndSelectionItems) {
    ToolkitFields fields;
    ToolkitItem item;
    EXPECT_EQ(ParseToolkitInfo(0, u"+STGI: 2,5,\"News\",0", &item, fields), 0);
    EXPECT_EQ(item.id, 2);
    EXPECT_EQ(item.count, 5);
    EXPECT_EQ(item.label, u"News");
    EXPECT_EQ(item.help, 0);

    ToolkitItem selection;
    selection.help = 9;
    EXPECT_EQ(ParseToolkitInfo(6, std::string_view("+STGI: 1,3,\"Yes\",1"), &selection, fields), 6);
    EXPECT_EQ(selection.id, 1);
    EXPECT_EQ(selection.count, 3);
    EXPECT_EQ(selection.label, u"Yes");
    EXPECT_EQ(selection.help, 9);

    // slots used up: parsed into nothing
    EXPECT_EQ(ParseToolkitInfo(0, u"+STGI: 16,16,\"Extra\",0", nullptr, fields), 0);
}

TEST(ParseToolkitInfo, PerTypeFields) {
    ToolkitFields fields;
    ParseToolkitInfo(1, u"+STGI: 1,\"Hello, you\",0", nullptr, fields);
    EXPECT_EQ(fields.display, 1);
    EXPECT_EQ(fields.displayText, u"Hello, you");
    EXPECT_EQ(fields.displayThird, 0);  // the comma inside the text counts: " you\",0" -> 0

    ParseToolkitInfo(3, u"+STGI: 0,1,2,8,1,\"PIN?\"", nullptr, fields);
    EXPECT_EQ(fields.input[0], 0);
    EXPECT_EQ(fields.input[4], 1);
    EXPECT_EQ(fields.input[3], 8);
    EXPECT_EQ(fields.inputText, u"PIN?");
    // only two numbers: the rest keeps its values
    ParseToolkitInfo(3, u"+STGI: 4,1", nullptr, fields);
    EXPECT_EQ(fields.input[0], 4);
    EXPECT_EQ(fields.input[1], 1);
    EXPECT_EQ(fields.input[2], 2);
    EXPECT_EQ(fields.input[3], 8);
    EXPECT_EQ(fields.inputText, u"PIN?");

    ParseToolkitInfo(4, u"+STGI: 1,\"Call?\",\"5550100\",129", nullptr, fields);
    EXPECT_EQ(fields.call, 1);
    EXPECT_EQ(fields.callText, u"Call?");
    EXPECT_EQ(fields.callSecondText, u"5550100");
    EXPECT_EQ(fields.callSecond, 129);

    ParseToolkitInfo(7, u"+STGI: 3", nullptr, fields);
    ParseToolkitInfo(8, u"+STGI: \"eight\"", nullptr, fields);
    ParseToolkitInfo(9, u"+STGI: \"nine\"", nullptr, fields);
    EXPECT_EQ(fields.type7, 3);
    EXPECT_EQ(fields.type8Text, u"eight");
    EXPECT_EQ(fields.type9Text, u"nine");

    ToolkitFields before = fields;
    for (int32_t type : {2, 5, 10, -1})
        EXPECT_EQ(ParseToolkitInfo(type, u"+STGI: 7,\"x\"", nullptr, fields), type);
    EXPECT_EQ(fields.displayText, before.displayText);
    EXPECT_EQ(fields.type7, before.type7);
}

}  // namespace
}  // namespace telvane
