// A long text sent with telvane-tool to the simulated modem, and joined back by another
// program's decoder.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "modemsim/sim_pdu.h"
#include "modemsim/simulated_modem.h"

namespace telvane {
namespace {

namespace fs = std::filesystem;

// The tool must not inherit the simulated modem's side of the pty.
void KeepDescriptorsFromChildren() {
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        const int fd = std::atoi(entry.path().filename().c_str());
        if (fd > 2) fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
    }
}

// Runs `command` under a deadline that only bounds a hang; its output and exit status.
std::pair<int, std::string> RunCommand(const std::string& command) {
    KeepDescriptorsFromChildren();
    std::string out;
    FILE* pipe = popen(("timeout -k 2 60 " + command + " 2>&1").c_str(), "r");
    if (!pipe) return {-1, out};
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        out.append(buffer.data(), n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

modemsim::Scenario Load(const std::string& text) {
    std::string error;
    auto scenario = modemsim::ParseScenario(text, &error);
    EXPECT_TRUE(scenario) << error;
    return scenario ? *scenario : modemsim::Scenario{};
}

// 300 characters of the GSM alphabet, extension characters (two septets each) among them, so
// that a part boundary falls next to one.
std::string LongText() {
    std::string text;
    for (int i = 0; text.size() < 320; ++i)
        text += "part " + std::to_string(i) + " of a long message {ext} [x] ~^ ";
    text.resize(300);
    return text;
}

TEST(LongSend, PartsLeaveTheModemAsConcatenated7BitThatGammuJoins) {
    const std::string text = LongText();
    modemsim::SimulatedModem modem(Load("[sim]\nmessage_capacity = 30\n"));
    const std::string device = modem.Start();
    ASSERT_FALSE(device.empty()) << modem.Error();
    const auto [status, out] =
        RunCommand(std::string(TELVANE_TOOL_PATH) + " modem --device " + device +
                   " --scale 0.1 send --ref 77 +886912345678 \"" + text + "\"");
    ASSERT_EQ(status, 0) << out;
    const std::vector<std::string> pdus = modem.SubmittedPdus();
    // The escapes take the text past two parts' 306 septets.
    ASSERT_EQ(pdus.size(), 3u);
    const size_t references = out.find("\"messageReferences\": [");
    ASSERT_NE(references, std::string::npos) << out;
    EXPECT_EQ(std::count(out.begin() + references, out.begin() + out.find(']', references), ','), 2)
        << out;
    const auto messages = modem.SubmittedMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, text);
    modem.Stop();

    if (RunCommand("sh -c 'command -v gammu'").second.find('/') == std::string::npos)
        GTEST_SKIP() << "gammu is not installed";
    // The parts as a SIM would store them, for gammu to read and join.
    std::string scenario = "[sim]\nmessage_capacity = 30\n[messages]\n";
    for (size_t i = 0; i < pdus.size(); ++i)
        scenario += std::to_string(i + 1) + " = STO SENT | PDU | " + pdus[i] + "\n";
    modemsim::SimulatedModem store(Load(scenario));
    const std::string storeDevice = store.Start();
    ASSERT_FALSE(storeDevice.empty()) << store.Error();
    char folder[] = "/tmp/telvane-long-send-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const fs::path home = folder;
    const std::string rc = (home / "gammurc").string();
    std::ofstream(rc) << "[gammu]\ndevice = " << storeDevice << "\nconnection = at\n";
    const std::string listed =
        RunCommand("env HOME=" + home.string() + " gammu -c " + rc + " geteachsms").second;
    store.Stop();
    fs::remove_all(home);
    EXPECT_NE(listed.find("3 SMS parts in 1 SMS sequences"), std::string::npos) << listed;
    EXPECT_NE(listed.find("Coding               : Default GSM alphabet"), std::string::npos)
        << listed;
    EXPECT_NE(listed.find("\n" + text + "\n"), std::string::npos) << listed;
}

}  // namespace
}  // namespace telvane
