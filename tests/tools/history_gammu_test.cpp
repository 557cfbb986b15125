// gammu's SMS backups through the history: what `gammu backupsms` saves from the simulated SIM
// imports whole (twice, without duplicates), and what `telvane-tool history export --gammu`
// writes, `gammu restoresms` puts back on a SIM.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "modemsim/sim_pdu.h"
#include "modemsim/simulated_modem.h"
#include "support/program.h"
#include "support/temp_data_folder.h"

namespace telvane::modemsim {
namespace {

namespace fs = std::filesystem;

using telvane::testing::Installed;
using telvane::testing::RunShell;

using Texts = std::vector<std::pair<std::string, std::string>>;

// The SIM's messages as (number, text), sorted.
Texts SimTexts(const SimulatedModem& modem) {
    Texts texts;
    for (const StoredMessage& m : modem.Messages()) {
        const DecodedMessage d = DecodeForTextMode(m.pdu);
        texts.emplace_back(d.number, d.text);
    }
    std::sort(texts.begin(), texts.end());
    return texts;
}

TEST(HistoryGammuTest, BackupImportsWholeAndTheExportIsRestoredOnASim) {
    if (!Installed("gammu")) GTEST_SKIP() << "gammu is not installed";
    telvane::testing::TempDataFolder home;
    const fs::path folder = home.path();
    std::string error;
    auto scenario =
        LoadScenarioFile(std::string(TELVANE_SOURCE_DATA_DIR) + "/demo-sim.ini", &error);
    ASSERT_TRUE(scenario) << error;
    scenario->meMessages.clear();  // gammu restores onto the SIM alone
    SimulatedModem modem(std::move(*scenario));
    const std::string device = modem.Start();
    ASSERT_FALSE(device.empty()) << modem.Error();
    const Texts original = SimTexts(modem);
    ASSERT_FALSE(original.empty());

    const std::string rc = (folder / "gammurc").string();
    std::ofstream(rc) << "[gammu]\ndevice = " << device << "\nconnection = at\n";
    const std::string gammu = "env HOME=" + folder.string() + " gammu -c " + rc + " ";
    const std::string tool =
        std::string("env TELVANE_HOME=") + folder.string() + " " + TELVANE_TOOL_PATH + " history ";
    // Answering yes to all also empties the SIM, ready for the restore.
    const std::string backup = (folder / "backup.smsbackup").string();
    RunShell(gammu + "backupsms " + backup + " -yes");
    ASSERT_TRUE(fs::exists(backup));
    ASSERT_TRUE(modem.Messages().empty());

    const std::string first = RunShell(tool + "import " + backup);
    EXPECT_NE(first.find("\"added\":" + std::to_string(original.size())), std::string::npos)
        << first;
    const std::string second = RunShell(tool + "import " + backup);
    EXPECT_NE(second.find("\"added\":0"), std::string::npos) << second;
    EXPECT_EQ(RunShell(tool + "count"), std::to_string(original.size()) + "\n");
    // Every number and text came through.
    const std::string csvFile = (folder / "all.csv").string();
    RunShell(tool + "export --csv " + csvFile);
    std::ifstream csvStream(csvFile);
    const std::string csv((std::istreambuf_iterator<char>(csvStream)), {});
    const std::string people = RunShell(tool + "conversations");
    for (const auto& [number, text] : original) {
        EXPECT_NE(people.find(number), std::string::npos) << number;
        EXPECT_NE(csv.find(text), std::string::npos) << text;
    }
    EXPECT_NE(RunShell(tool + "search 晚上").find("今天晚上一起吃飯嗎"), std::string::npos);

    const std::string exported = (folder / "export.smsbackup").string();
    const std::string out = RunShell(tool + "export --gammu " + exported);
    EXPECT_NE(out.find("\"exported\":" + std::to_string(original.size())), std::string::npos)
        << out;
    const std::string restored = RunShell(gammu + "restoresms " + exported + " -yes", 120);
    EXPECT_EQ(SimTexts(modem), original) << restored;
    modem.Stop();
}

}  // namespace
}  // namespace telvane::modemsim
