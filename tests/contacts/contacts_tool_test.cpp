#include <gtest/gtest.h>

#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
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

// An import says what it added and what it skipped, and writes only what it added.
TEST(ContactsTool, ImportsIntoTheContactsAndThePhonebookFile) {
    char name[] = "/tmp/telvane-import-tool-XXXXXX";
    const fs::path folder = ::mkdtemp(name);
    std::ofstream(folder / "in.csv") << "Number,Name\r\n0912 345 678,Amy Chen\r\n"
                                        "0912345678,Amy twice\r\n0933,Christopher Columbus\r\n"
                                        ",Name only\r\n";
    int status = -1;
    const std::string in = (folder / "in.csv").string();
    EXPECT_EQ(RunTool("contacts import " + in + " --dir " + (folder / "c").string(), &status),
              "{\"name\":\"Amy Chen\",\"number\":\"0912 345 678\",\"added\":true}\n"
              "{\"name\":\"Amy twice\",\"number\":\"0912345678\",\"skipped\":\"duplicate\"}\n"
              "{\"name\":\"Christopher Columbus\",\"number\":\"0933\",\"added\":true}\n"
              "{\"name\":\"Name only\",\"number\":\"\",\"skipped\":\"no number\"}\n");
    EXPECT_EQ(status, 0);
    const std::string listed = RunTool("contacts list --dir " + (folder / "c").string(), &status);
    EXPECT_EQ(std::count(listed.begin(), listed.end(), '\n'), 2) << listed;

    const std::string book = (folder / "simpbk.acr").string();
    {
        std::ofstream json(folder / "book.json");
        json << "{\"numberLimit\": 20, \"textLimit\": 14, \"capacity\": 2, \"entries\": "
                "[{\"changed\": 0, \"index\": 1, \"name\": \"Bob\", \"number\": \"0955\"}, "
                "{\"changed\": 0, \"index\": 0, \"name\": \"\", \"number\": \"\"}]}";
    }
    RunTool("phonebook build " + (folder / "book.json").string() + " " + book, &status);
    ASSERT_EQ(status, 0);
    const std::string out = RunTool("phonebook import " + in + " " + book, &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(out.find("\"Amy Chen\",\"number\":\"0912 345 678\",\"added\":true"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("\"Christopher Columbus\",\"number\":\"0933\",\"skipped\":\"too long "
                       "for the SIM\""),
              std::string::npos)
        << out;
    const std::string dump = RunTool("phonebook dump " + book, &status);
    EXPECT_NE(dump.find("\"changed\": 1, \"index\": 2, \"name\": \"Amy Chen\", \"number\": "
                        "\"0912345678\""),
              std::string::npos)
        << dump;
    RunTool("contacts import " + (folder / "missing.csv").string(), &status);
    EXPECT_EQ(status, 2);
    fs::remove_all(folder);
}

}  // namespace
