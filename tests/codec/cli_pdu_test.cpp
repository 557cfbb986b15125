// telvane-tool pdu, end to end.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace telvane {
namespace {

struct Result {
    int status;
    std::string out;
};

// Runs telvane-tool with `arguments` (shell words) and `input` on stdin; stderr goes to stdout
// when `withErrors`.
Result Tool(const std::string& arguments, bool withErrors = false, const std::string& input = "") {
    // Per process, so that two runs of one build do not feed each other's input.
    const std::string inputPath = (std::filesystem::temp_directory_path() /
                                   ("telvane-cli-pdu-" + std::to_string(::getpid()) + ".input"))
                                      .string();
    if (FILE* file = fopen(inputPath.c_str(), "w")) {
        fwrite(input.data(), 1, input.size(), file);
        fclose(file);
    }
    std::string command = std::string("'") + TELVANE_TOOL_PATH + "' " + arguments + " <'" +
                          inputPath + "'" + (withErrors ? " 2>&1" : " 2>/dev/null");
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {-1, ""};
    std::string out;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        out.append(buffer, n);
    int status = pclose(pipe);
    std::remove(inputPath.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST(ToolPdu, DecodeEncodeSmart) {
    struct Case {
        std::string arguments;
        std::string out;
    } cases[] = {
        {"pdu decode 0791214365870921040791214365F70000107002112554000361F118",
         "{\"number\": \"+1234567\", \"time\": \"01/07/20,11:52:45\", \"text\": \"abc\"}\n"},
        {"pdu decode 0791447758100650040DD0F334FC1CA6970100008080312170224008D4F29CDE0EA7D9",
         "{\"number\": \"sipgate\", \"time\": \"08/08/13,12:07:22\", \"text\": \"Testmail\"}\n"},
        {"pdu encode --to +1234567 abc",
         "{\"pdu\": \"00013C0791214365F700000361F118\", \"tpduLength\": 14, \"coding\": \"gsm7\", "
         "\"units\": 3}\n"},
        {"pdu encode --sc +123 --to +1234567 '\xE4\xBD\xA0\xE5\xA5\xBD'",
         "{\"pdu\": \"039121F3013C0791214365F70008044F60597D\", \"tpduLength\": 15, \"coding\": "
         "\"ucs2\", \"units\": 2}\n"},
        {"pdu encode --to 1 'a{'",
         "{\"pdu\": \"00013C0181F1000003E10D0A\", \"tpduLength\": 11, \"coding\": \"gsm7\", "
         "\"units\": 3}\n"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        Result r = Tool(cases[i].arguments);
        EXPECT_EQ(r.status, 0) << cases[i].arguments;
        EXPECT_EQ(r.out, cases[i].out) << cases[i].arguments;
    }
}

TEST(ToolPdu, DecodesOneLinePerPduFromStdin) {
    Result r = Tool("pdu decode -", false,
                    "0791214365870921040791214365F70000107002112554000361F118\n"
                    "\n"
                    "00013c0791214365f700000361f118\r\n");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "{\"number\": \"+1234567\", \"time\": \"01/07/20,11:52:45\", \"text\": \"abc\"}\n"
              "{\"number\": \"+1234567\", \"time\": \"\", \"text\": \"abc\"}\n");
}

TEST(ToolPdu, SmartPartsStartAtReferenceOne) {
    std::string bitmap(504, 'F');
    Result r = Tool("pdu smart picture " + bitmap);
    EXPECT_EQ(r.status, 0);
    // a fresh process takes concatenation reference 01; three parts
    EXPECT_EQ(r.out.rfind("{\"parts\": [\"0B0504158A000000030103013002010000481C01FF", 0), 0u);
    EXPECT_NE(r.out.find("\"0B0504158A00000003010303FF"), std::string::npos);
    r = Tool("pdu smart logo --operator 45400 " + bitmap);
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("0102013054F4000A00480E01FF"), std::string::npos);
}

TEST(ToolPdu, BadInputIsOneLineAndStatusTwo) {
    const std::string cases[] = {
        "pdu",
        "pdu decode",
        "pdu decode 0791XY",
        "pdu decode 079121436587092",
        "pdu decode 0791",
        "pdu encode abc",
        "pdu encode --to",
        "pdu encode --to 12a3 abc",
        "pdu encode --to 123 --sc 1+2 abc",
        "pdu encode --to 123 one two",
        "pdu encode --to 123 " + std::string(161, 'a'),
        "pdu smart",
        "pdu smart poster FF",
        "pdu smart picture F",
        "pdu smart picture --operator 46692 FF",
        "pdu smart logo --operator ab FF",
        "pdu smart picture " + std::string(506, 'F'),
    };
    for (const std::string& arguments : cases) {
        Result r = Tool(arguments, true);
        EXPECT_EQ(r.status, 2) << arguments;
        ASSERT_FALSE(r.out.empty()) << arguments;
        EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << arguments << ": " << r.out;
    }
    Result r = Tool("pdu decode -", true, "00013C0791214365F700000361F118\nxyz\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("line 2"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace telvane
