// The telvane-modemsim program: prints where the modem is, answers there, and ends cleanly on
// SIGTERM, removing its link and leaving the transcript behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "pty_client.h"

namespace telvane::modemsim {
namespace {

namespace fs = std::filesystem;

TEST(ModemsimProgram, ServesTheDemoSimUntilTerminated) {
    std::string program = std::string(TELVANE_BINARY_DIR) + "/tools/telvane-modemsim";
    char folder[] = "/tmp/telvane-modemsim-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::string link = std::string(folder) + "/modem";
    std::string transcript = std::string(folder) + "/transcript.txt";
    std::string control = std::string(folder) + "/control";
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        execl(program.c_str(), program.c_str(), "--link", link.c_str(), "--transcript",
              transcript.c_str(), "--control", control.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string printed;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n')
        printed += c;
    close(out[0]);
    EXPECT_EQ(printed, link);
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link).string().rfind("/dev/pts/", 0), 0u);
    {
        testing::PtyClient client(link);
        ASSERT_TRUE(client.Ok());
        EXPECT_EQ(client.Command("AT+CGMI"), "AT+CGMI\r\r\nTelvane\r\n\r\nOK\r\n");
        // A message arriving on demand, through the control pipe; the demo SIM holds 12.
        EXPECT_EQ(client.Command("ATE0;+CNMI=2,1"), "ATE0;+CNMI=2,1\r\r\nOK\r\n");
        {
            std::ofstream pipe(control);
            pipe << "deliver +886955000111 | | Hi\n" << std::flush;
        }
        EXPECT_EQ(client.ReadUntil("+CMTI: \"SM\",13\r\n"), "\r\n+CMTI: \"SM\",13\r\n");
    }
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_FALSE(fs::exists(fs::symlink_status(control)));
    auto text = ReadWholeFile(transcript);
    ASSERT_TRUE(text);
    EXPECT_NE(text->find(" command AT+CGMI\n"), std::string::npos) << *text;
    fs::remove_all(folder);
}

// --help says how to run it and where the scenario's keys are; a wrong option is refused.
TEST(ModemsimProgram, HelpListsTheOptionsAndPointsToTheKeys) {
    std::string program = std::string(TELVANE_BINARY_DIR) + "/tools/telvane-modemsim";
    struct Case {
        const char* arguments;
        int status;
        std::vector<std::string> shown;  // on stdout and stderr together
    } cases[] = {
        {"--help",
         0,
         {"--scenario FILE", "--link PATH", "--transcript FILE", "--control FIFO", "--help",
          "deliver [SM|ME]", "deliver-pdu", "report", "unsolicited", "registration", "signal",
          "drop", "tools/modemsim/scenario.h", "data/demo-sim.ini", "submit_delay", "cme", "inject",
          "nul"}},
        {"-h", 0, {"--scenario FILE"}},
        {"--bogus", 2, {"unknown option --bogus", "usage: telvane-modemsim"}},
        {"--scenario", 2, {"missing value after --scenario"}},
    };
    for (const Case& c : cases) {
        std::string command = program + " " + c.arguments + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        std::string out;
        char buffer[512];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            out.append(buffer, n);
        int status = pclose(pipe);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == c.status) << c.arguments << out;
        for (const std::string& s : c.shown)
            EXPECT_NE(out.find(s), std::string::npos) << c.arguments << ": " << s << "\n" << out;
    }
}

}  // namespace
}  // namespace telvane::modemsim
