#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/run_tool.h"

namespace {

namespace fs = std::filesystem;

using telvane::testing::RunTool;

TEST(ContactsTool, ListsOneObjectPerContact) {
    char name[] = "/tmp/telvane-contacts-tool-XXXXXX";
    const fs::path folder = ::mkdtemp(name);
    std::ofstream(folder / "2.vcf") << "BEGIN:VCARD\r\nN:Chan;Tai \"Man\";;;\r\nEND:VCARD\r\n";
    std::ofstream(folder / "1.vcf") << "BEGIN:VCARD\r\nN:Lee;Ann;;;\r\nTEL:+852\r\nEND:VCARD\r\n";
    int status = -1;
    EXPECT_EQ(RunTool("contacts list --dir " + folder.string(), &status),
              "{\"position\":0,\"name\":\"Ann Lee\",\"number\":\"+852\"}\n"
              "{\"position\":1,\"name\":\"Tai \\\"Man\\\" Chan\",\"number\":\"\"}\n");
    EXPECT_EQ(status, 0);

    std::ofstream(folder / "file") << "x";
    const std::string out =
        RunTool("contacts list --dir " + (folder / "file/sub").string(), &status);
    EXPECT_EQ(status, 1);
    EXPECT_NE(out.find("file/sub"), std::string::npos) << out;
    RunTool("contacts list --dir", &status);
    EXPECT_EQ(status, 2);
    fs::remove_all(folder);
}

}  // namespace
