// telvane-tool and a port another program has: the holder is named and the line left alone.
#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "modemsim/simulated_modem.h"
#include "platform/port_holder.h"
#include "platform/uucp_lock.h"
#include "support/holder_process.h"
#include "support/modem_manager_standin.h"
#include "support/program.h"
#include "support/tool_session.h"
#include "support/wait.h"

namespace telvane {
namespace {

namespace fs = std::filesystem;
using testing::Installed;
using testing::WaitUntil;

class PortSharingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char folder[] = "/tmp/telvane-sharing-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        folder_ = folder;
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path folder_;
};

// Whoever has the port, with or without a lock: the tool exits 3 naming it, and nothing of
// the tool's reaches the modem (its first line would be the reset, ATZ, which neither sends).
TEST_F(PortSharingTest, AHeldPortIsRefusedWithItsHolderNamed) {
    modemsim::SimulatedModem modem(modemsim::Scenario{});
    const std::string device = modem.Start();
    ASSERT_FALSE(device.empty());
    const std::string rc = (folder_ / "gammurc").string();
    std::ofstream(rc) << "[gammu]\ndevice = " << device << "\nconnection = at\nuse_locking = yes\n";

    struct Case {
        const char* name;
        std::vector<std::string> holder;  // empty: a plain open by `sleep`
    } cases[] = {
        {"sleep", {}},
        {"gammu", {"env", "HOME=" + folder_.string(), "gammu", "-c", rc, "monitor"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.holder.empty() && !Installed(c.holder[2])) {
            std::printf("%s is not installed: that case is skipped\n", c.name);
            continue;
        }
        std::unique_ptr<testing::HolderProcess> plain;
        std::unique_ptr<testing::Program> program;
        int pid = 0;
        if (c.holder.empty()) {
            plain = std::make_unique<testing::HolderProcess>(device);
            pid = plain->Pid();
        } else {
            program = std::make_unique<testing::Program>(c.holder);
            pid = program->Pid();
        }
        ASSERT_TRUE(WaitUntil([&] {
            const std::optional<PortHolder> holder = FindPortHolder(device, LockFolders());
            return holder && holder->name == c.name;
        }));
        const testing::ToolResult result =
            testing::RunToolLive("modem --device " + device + " --scale 0.1 list");
        EXPECT_EQ(result.status, 3) << result.out;
        EXPECT_NE(result.out.find("the port " + device + " is in use by " + c.name + " (pid " +
                                  std::to_string(pid) + ")"),
                  std::string::npos)
            << result.out;
        if (program) {
            program->Signal(SIGINT);
            program->Wait();
        }
        const std::vector<std::string> commands = modem.Commands();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "ATZ"), 0);
        if (c.holder.empty()) {
            EXPECT_TRUE(commands.empty());
        }
    }
}

// ModemManager managing the modem: the tool asks it to let go for the run and gives the modem
// back at its end; a refusal ends the run with the reason and the remedy, before the port is
// touched.
TEST_F(PortSharingTest, TheToolAsksModemManagerToLetGoForItsRun) {
    if (!testing::HaveStandIn()) GTEST_SKIP() << "dbus-daemon or python3-dbusmock is not installed";
    testing::StandInBus bus;
    ASSERT_EQ(bus.Start(), "");
    modemsim::SimulatedModem modem(modemsim::Scenario{});
    const std::string node = modem.Start();
    ASSERT_FALSE(node.empty());
    // Chosen by a stable name, as the Settings page offers it; ModemManager lists the node.
    const fs::path link = folder_ / "usb-Telvane_GSM_Modem_0001-if00";
    fs::create_symlink(node, link);
    const std::string port = fs::path(node).filename().string();
    const std::string uid = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
    const std::string inhibit = "InhibitDevice \"" + uid + "\" True";
    const std::string release = "InhibitDevice \"" + uid + "\" False";
    const struct {
        const char* what;
        std::string parameters;
        int status;
        std::vector<std::string> calls;
        std::string says;  // empty: the listing runs
    } cases[] = {
        {"managed",
         R"({"device": ")" + uid + R"(", "ports": [["cdc-wdm0", 6], [")" + port + R"(", 2]]})",
         0,
         {inhibit, release},
         ""},
        {"another modem", R"({"device": ")" + uid + R"(", "ports": [["ttyUSB7", 2]]})", 0, {}, ""},
        {"refused",
         R"({"device": ")" + uid + R"(", "ports": [[")" + port +
             R"(", 2]], "refuse": "not authorized"})",
         3,
         {inhibit},
         "ModemManager would not let go of the modem: not authorized"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(bus.StartStandIn(c.parameters));
        const size_t before = modem.Commands().size();
        const testing::ToolResult result =
            testing::RunToolLive("modem --device " + link.string() + " --scale 0.1 list");
        EXPECT_EQ(result.status, c.status) << result.out;
        // The log is written as each call comes; a refusal adds a line of its own.
        const auto calls = [&] {
            std::vector<std::string> made;
            for (const std::string& call : bus.Calls())
                if (call.starts_with("InhibitDevice \"")) made.push_back(call);
            return made;
        };
        EXPECT_TRUE(WaitUntil([&] { return calls() == c.calls; }))
            << ::testing::PrintToString(bus.Calls());
        if (c.says.empty()) {
            EXPECT_GT(modem.Commands().size(), before);
        } else {
            EXPECT_NE(result.out.find(c.says), std::string::npos) << result.out;
            EXPECT_NE(result.out.find("udev rule"), std::string::npos) << result.out;
            EXPECT_EQ(modem.Commands().size(), before);
        }
    }
}

}  // namespace
}  // namespace telvane
