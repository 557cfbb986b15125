// The libraries the build generates must read back to their source texts.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>

#include "canned/canned_library.h"
#include "canned/canned_tree.h"
#include "platform/text.h"
#include "support/run_tool.h"

namespace telvane {
namespace {

struct SourceMessage {
    std::u16string topic, subtopic, text;
};

std::string Trim(const std::string& s) {
    const size_t begin = s.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return {};
    return s.substr(begin, s.find_last_not_of(" \t\r") - begin + 1);
}

std::vector<SourceMessage> ReadSource(const std::string& name) {
    std::ifstream in(std::string(TELVANE_SOURCE_DATA_DIR) + "/canned/" + name + ".txt");
    EXPECT_TRUE(in) << name;
    std::vector<SourceMessage> messages;
    std::u16string topic, subtopic;
    for (std::string line; std::getline(in, line);) {
        line = Trim(line);
        if (line.empty() || line[0] == '#') continue;
        if (line.rfind("library ", 0) == 0 || line.rfind("encoding ", 0) == 0 ||
            line.rfind("table ", 0) == 0)
            continue;
        if (line.front() == '[') {
            const std::string inner = line.substr(1, line.size() - 2);
            const size_t slash = inner.find('/');
            topic = Utf8ToU16(inner.substr(0, slash));
            subtopic = slash == std::string::npos ? u"" : Utf8ToU16(inner.substr(slash + 1));
            continue;
        }
        messages.push_back({topic, subtopic, Utf8ToU16(line)});
    }
    return messages;
}

const std::filesystem::path kBuilt = std::filesystem::path(TELVANE_BINARY_DIR) / "share/telvane";

TEST(ShippedLibraries, ReadBackToTheirSource) {
    struct Case {
        const char16_t* name;
        int32_t codePage;
        int32_t mode;
    } cases[] = {{u"chimsg", 950, 1}, {u"english", 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(U16ToUtf8(c.name));
        const std::vector<SourceMessage> source = ReadSource(U16ToUtf8(c.name));
        CannedLibraryReader reader({kBuilt});
        ASSERT_EQ(reader.Read(c.name), 1) << reader.error;
        EXPECT_EQ(reader.codePage, c.codePage);
        ASSERT_EQ(reader.entries.size(), source.size() + 1);
        std::set<std::u16string> topics;
        for (size_t i = 0; i < source.size(); ++i) {
            const CannedEntry& e = reader.entries[i + 1];
            EXPECT_EQ(e.mode, c.mode);
            EXPECT_EQ(e.topic, source[i].topic) << i;
            EXPECT_EQ(e.subtopic, source[i].subtopic) << i;
            EXPECT_EQ(e.message, source[i].text) << U16ToUtf8(source[i].text);
            topics.insert(e.topic);
        }
        EXPECT_GE(source.size(), 40u);
        EXPECT_GE(topics.size(), 3u);
        EXPECT_LE(topics.size(), 6u);
        // Each topic forms one node: its records are contiguous.
        CannedNode tree;
        ASSERT_EQ(LoadCannedLibrary(c.name, u"Canned Message", tree, {kBuilt}), 1);
        EXPECT_EQ(tree.children.size(), topics.size());
    }
    EXPECT_EQ(ListCannedLibraries({kBuilt}), (std::vector<std::u16string>{u"chimsg", u"english"}));
}

using testing::RunTool;

TEST(CannedTool, DumpsEveryRecordAsJson) {
    int status = -1;
    const std::string out = RunTool("canned dump " + (kBuilt / "chimsg.pdb").string(), &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out.rfind("{\"codePage\":950,\"entries\":[{\"mode\":1,\"topic\":\"\","
                        "\"subtopic\":\"\",\"message\":\"big_5\"},",
                        0),
              0u)
        << out;
    EXPECT_NE(out.find("{\"mode\":1,\"topic\":\"\u554f\u5019\"", 0), std::string::npos);
    RunTool("canned dump /nonexistent/x.pdb", &status);
    EXPECT_EQ(status, 1);
    RunTool("canned", &status);
    EXPECT_EQ(status, 2);
}

TEST(CannedGenerator, RefusesTextsThatWouldNotReadBack) {
    struct Case {
        const char* what;
        std::string source;
    } cases[] = {
        {"lone single-byte character among Big5",
         "library x\nencoding BIG5\ntable big_5\n[問候]\n早A安\n"},
        {"message over 50 bytes", "library x\nencoding ISO-8859-1\n[T]\n" + std::string(51, 'a')},
        {"topic over 20 bytes",
         "library x\nencoding ISO-8859-1\n[" + std::string(21, 't') + "]\nm\n"},
        {"character outside the encoding", "library x\nencoding ISO-8859-1\n[T]\n中\n"},
        {"code table name in a library name", "library x_y\nencoding ISO-8859-1\n[T]\nm\n"},
    };
    char name[] = "/tmp/telvane-cannedgen-XXXXXX";
    const std::filesystem::path folder = ::mkdtemp(name);
    for (const Case& c : cases) {
        std::ofstream(folder / "source.txt") << c.source;
        const std::string command = std::string(TELVANE_BINARY_DIR) + "/data/telvane-cannedgen " +
                                    (folder / "source.txt").string() + " " +
                                    (folder / "out").string() + " 2>/dev/null";
        EXPECT_EQ(WEXITSTATUS(std::system(command.c_str())), 1) << c.what;
        EXPECT_FALSE(std::filesystem::exists(folder / "out" / "x.pdb")) << c.what;
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace telvane
