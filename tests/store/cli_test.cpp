// telvane-tool's folder and phonebook commands, run as a user would run them.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>

#include "store/folder_table.h"
#include "store/phonebook_table.h"
#include "temp_folder.h"

namespace telvane {
namespace {

using testing::Hex;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

struct Result {
    int status;
    std::string out;
};

// Runs telvane-tool with `args` (a shell fragment); stderr is dropped.
Result Tool(const std::string& args) {
    const std::string command = std::string(TELVANE_TOOL_PATH) + " " + args + " 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    Result result{-1, {}};
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

void ExpectStartsWith(const std::string& text, const std::string& prefix) {
    EXPECT_EQ(text.substr(0, prefix.size()), prefix);
}

FolderTable SampleFolder() {
    FolderTable table;
    table.Add(SmsRecord{3, u"REC UNREAD", u"+886912345678", u"", u"01/08/18,03:44:56+32",
                        u"Hello, \"you\"\r\n\u4e2d\u6587 \U0001F600"});
    table.Add(SmsRecord{-1, u"STO UNSENT", u"0911;0922", u"x", u"26/12/10,05:30:00",
                        std::u16string(300, u'w')});
    table.Add(SmsRecord{});
    table.Add(SmsRecord{-1, u"", u"", u"", u"", u"=HYPERLINK(\"http://x\")\xd800"});
    table.Remove(1);
    return table;
}

TEST(ToolFolder, DumpThenBuildReproducesTheFile) {
    TempFolder dir;
    const std::string original = EncodeFolder(SampleFolder());
    WriteBytes(dir / "smsout.acr", original);

    const Result dump = Tool("folder dump " + (dir / "smsout.acr").string());
    ASSERT_EQ(dump.status, 0);
    ExpectStartsWith(dump.out,
                     "{\"usedCount\": 3, \"entries\": [{\"slot\": 0, \"status\": \"REC UNREAD\", "
                     "\"index\": 3, \"number\": \"+886912345678\", \"extra\": \"\", \"time\": "
                     "\"01/08/18,03:44:56+32\", \"text\": \"Hello, ");
    EXPECT_NE(dump.out.find("\"slot\": 3,"), std::string::npos);
    EXPECT_NE(dump.out.find("\\ud800\""), std::string::npos);  // the lone surrogate survives

    WriteBytes(dir / "dump.json", dump.out);
    ASSERT_EQ(
        Tool("folder build " + (dir / "dump.json").string() + " " + (dir / "rebuilt.acr").string())
            .status,
        0);
    EXPECT_EQ(ReadBytes(dir / "rebuilt.acr"), original);

    // The empty folder too, through standard input.
    WriteBytes(dir / "empty.acr", Hex("00000000"));
    ASSERT_EQ(Tool("folder dump " + (dir / "empty.acr").string() + " | " + TELVANE_TOOL_PATH +
                   " folder build - " + (dir / "empty2.acr").string())
                  .status,
              0);
    EXPECT_EQ(ReadBytes(dir / "empty2.acr"), Hex("00000000"));
}

TEST(ToolFolder, ExportsCsvThatASpreadsheetCannotRun) {
    TempFolder dir;
    WriteBytes(dir / "smsin.acr", EncodeFolder(SampleFolder()));
    const Result csv = Tool("folder export " + (dir / "smsin.acr").string() + " --csv");
    ASSERT_EQ(csv.status, 0);
    EXPECT_EQ(csv.out,
              "slot,status,index,number,extra,time,text\r\n"
              "0,REC UNREAD,3,+886912345678,,\"01/08/18,03:44:56+32\",\"Hello, \"\"you\"\"\r\n"
              "\xe4\xb8\xad\xe6\x96\x87 \xf0\x9f\x98\x80\"\r\n"
              "2,,-1,,,,\r\n"
              "3,,-1,,,,\"'=HYPERLINK(\"\"http://x\"\")\xef\xbf\xbd\"\r\n");
}

TEST(ToolFolder, RefusesBadInputAndFlagsDamagedFiles) {
    TempFolder dir;
    const std::string out = (dir / "out.acr").string();
    const char* bad[] = {
        "{\"entries\": [{\"slot\": 200}]}",
        "{\"entries\": [{\"slot\": 1}, {\"slot\": 1}]}",
        "{\"usedCount\": 2, \"entries\": [{\"slot\": 1}]}",
        "{\"entries\": [{\"slot\": 1, \"index\": \"7\"}]}",
        "{\"entries\": [{\"slot\": 1, \"text\": \"cut",
        "[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[[]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]]"
        "]",
        "",
    };
    for (const char* json : bad) {
        WriteBytes(dir / "in.json", json);
        EXPECT_EQ(Tool("folder build " + (dir / "in.json").string() + " " + out).status, 2) << json;
        EXPECT_FALSE(std::filesystem::exists(out)) << json;
    }
    EXPECT_EQ(Tool("folder dump " + (dir / "missing.acr").string()).status, 2);
    EXPECT_EQ(Tool("folder frobnicate x").status, 2);

    std::string cut = EncodeFolder(SampleFolder());
    cut.resize(cut.size() - 3);
    WriteBytes(dir / "cut.acr", cut);
    const Result dump = Tool("folder dump " + (dir / "cut.acr").string());
    EXPECT_EQ(dump.status, 1);
    ExpectStartsWith(dump.out, "{\"usedCount\": 2,");
}

// The dump-then-build repair writes over a damaged file: its bytes are kept first, so that the
// record the dump could not read is not lost with it.
TEST(ToolFolder, BuildOverADamagedFileKeepsItsBytes) {
    TempFolder dir;
    std::string cut = EncodeFolder(SampleFolder());
    cut.resize(cut.size() - 3);
    const std::filesystem::path target = dir / "smsin.acr";
    WriteBytes(target, cut);
    WriteBytes(dir / "repair.json", Tool("folder dump " + target.string()).out);
    ASSERT_EQ(Tool("folder build " + (dir / "repair.json").string() + " " + target.string()).status,
              0);
    int copies = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        if (!entry.path().filename().string().starts_with("smsin.acr.damaged-")) continue;
        ++copies;
        EXPECT_EQ(ReadBytes(entry.path()), cut);
    }
    EXPECT_EQ(copies, 1);
    // A whole file is replaced without a copy.
    ASSERT_EQ(Tool("folder build " + (dir / "repair.json").string() + " " + target.string()).status,
              0);
    copies = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        copies += entry.path().filename().string().starts_with("smsin.acr.damaged-");
    EXPECT_EQ(copies, 1);
}

TEST(ToolPhonebook, DumpThenBuildReproducesTheFile) {
    PhonebookTable table;
    table.SetLimits(20, 14, 6);
    table.StoreFromSim(1, u"\u738b\u5c0f\u660e", u"+886912345678");
    table.StoreFromSim(2, u"Bob", u"0911");
    table.DeleteEntry(2);
    table.AddEntry(u"Carol \"C\"", u"123");
    table.UpdateEntry(6, u"Dave", u"");
    TempFolder dir;
    ASSERT_EQ(table.SaveFile(dir / "simpbk.acr"), 1);

    const Result dump = Tool("phonebook dump " + (dir / "simpbk.acr").string());
    ASSERT_EQ(dump.status, 0);
    ExpectStartsWith(
        dump.out,
        "{\"numberLimit\": 20, \"textLimit\": 14, \"capacity\": 6, \"entries\": "
        "[{\"changed\": 0, \"index\": 1, \"name\": \"\xe7\x8e\x8b\xe5\xb0\x8f\xe6\x98\x8e\", "
        "\"number\": \"+886912345678\"}, {\"c");
    WriteBytes(dir / "pb.json", dump.out);
    ASSERT_EQ(
        Tool("phonebook build " + (dir / "pb.json").string() + " " + (dir / "rebuilt.acr").string())
            .status,
        0);
    EXPECT_EQ(ReadBytes(dir / "rebuilt.acr"), ReadBytes(dir / "simpbk.acr"));

    // A damaged capacity: the entries behind it are still shown, and the status says damaged.
    WriteBytes(dir / "minus.acr", Hex("14000000 0e000000 ffffffff 00000000 01000000 fffeff01 "
                                      "4100 fffeff01 3100"));
    const Result damaged = Tool("phonebook dump " + (dir / "minus.acr").string());
    EXPECT_EQ(damaged.status, 1);
    ExpectStartsWith(damaged.out,
                     "{\"numberLimit\": 20, \"textLimit\": 14, \"capacity\": 1, \"entries\": "
                     "[{\"changed\": 0, \"index\": 1, \"name\": \"A\", \"number\": \"1\"}]");

    WriteBytes(dir / "bad.json", "{\"capacity\": 3, \"entries\": [{}]}");
    EXPECT_EQ(
        Tool("phonebook build " + (dir / "bad.json").string() + " " + (dir / "x.acr").string())
            .status,
        2);
}

}  // namespace
}  // namespace telvane
