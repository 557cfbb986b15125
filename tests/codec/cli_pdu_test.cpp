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
         "{\"pdu\": \"00013C0791214365F700000361F118\", \"tpduLength\": 14, \"parts\": "
         "[{\"pdu\": \"00013C0791214365F700000361F118\", \"tpduLength\": 14}], \"coding\": "
         "\"gsm7\", \"units\": 3, \"messages\": 1}\n"},
        {"pdu encode --sc '+1 23' --to '(+123) 45-67' '\xE4\xBD\xA0\xE5\xA5\xBD'",
         "{\"pdu\": \"039121F3013C0791214365F70008044F60597D\", \"tpduLength\": 15, \"parts\": "
         "[{\"pdu\": \"039121F3013C0791214365F70008044F60597D\", \"tpduLength\": 15}], "
         "\"coding\": \"ucs2\", \"units\": 2, \"messages\": 1}\n"},
        {"pdu encode --to 1 --status-report 'a{'",
         "{\"pdu\": \"00213C0181F1000003E10D0A\", \"tpduLength\": 11, \"parts\": [{\"pdu\": "
         "\"00213C0181F1000003E10D0A\", \"tpduLength\": 11}], \"coding\": \"gsm7\", "
         "\"units\": 3, \"messages\": 1}\n"},
        {"pdu decode 0006D60B911326880736F4111011719551401110117195714000",
         "{\"number\": \"+31628870634\", \"time\": \"11/01/11,17:59:15\", \"text\": \"\", "
         "\"reference\": 214, \"status\": 0, \"discharged\": \"11/01/11,17:59:17\"}\n"},
        {"pdu decode 0040039121430004107002112554000706080412340302",
         "{\"number\": \"+123\", \"time\": \"01/07/20,11:52:45\", \"text\": \"\", "
         "\"concat\": {\"reference\": 4660, \"referenceBits\": 16, \"total\": 3, "
         "\"sequence\": 2}}\n"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        Result r = Tool(cases[i].arguments);
        EXPECT_EQ(r.status, 0) << cases[i].arguments;
        EXPECT_EQ(r.out, cases[i].out) << cases[i].arguments;
    }
}

TEST(ToolPdu, EncodesEveryLength) {
    struct Case {
        std::string text;
        std::string coding;
        int units, messages;
    } cases[] = {
        {"caf\xC3\xA9 \xC2\xA3"
         "5 \xE2\x82\xAC",
         "gsm7", 10, 1},
        {"na\xC3\xAFve", "ucs2", 5, 1},
        {"`tick`", "ucs2", 6, 1},
        {std::string(170, 'a'), "gsm7", 170, 2},
        {std::string(1530, 'a'), "gsm7", 1530, 10},
    };
    for (const auto& c : cases) {
        Result r = Tool("pdu encode --to +1234567 --reference 7 '" + c.text + "'");
        EXPECT_EQ(r.status, 0) << c.text;
        EXPECT_NE(
            r.out.find("\"coding\": \"" + c.coding + "\", \"units\": " + std::to_string(c.units) +
                       ", \"messages\": " + std::to_string(c.messages) + "}"),
            std::string::npos)
            << r.out;
        size_t parts = 0;
        for (size_t at = r.out.find("{\"pdu\"", r.out.find("\"parts\"")); at != std::string::npos;
             at = r.out.find("{\"pdu\"", at + 1))
            ++parts;
        EXPECT_EQ(parts, static_cast<size_t>(c.messages)) << r.out;
        // the top-level pdu only for a single message
        EXPECT_EQ(r.out.rfind("{\"pdu\"", 0) == 0, c.messages == 1) << r.out;
    }
    Result r = Tool("pdu encode --to +1234567 --reference 7 " + std::string(170, 'a'));
    EXPECT_NE(r.out.find("\"00413C0791214365F70000A0050003070201"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"00413C0791214365F7000018050003070202"), std::string::npos) << r.out;
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
        "pdu encode --to 123 " + std::string(255 * 153 + 1, 'a'),
        "pdu encode --to '12\x1b' abc",
        "pdu encode --to 123 --sc 'AT+CMGD=1,4' abc",
        "pdu encode --to 123 --reference 256 abc",
        "pdu encode --to 123 --16bit --reference 65536 abc",
        "pdu encode --to 123 --reference x abc",
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
