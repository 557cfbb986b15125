// Asking ModemManager to let go of a modem, against a stand-in on a private bus: the inhibition
// goes to the modem whose ports list the device, ends with its object, and a refusal is told.
#include "platform/modem_manager_client.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/modem_manager_standin.h"
#include "support/wait.h"

namespace telvane {
namespace {

using testing::WaitUntil;

class ModemManagerStandIn : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testing::HaveStandIn())
            GTEST_SKIP() << "dbus-daemon or python3-dbusmock is not installed";
        ASSERT_EQ(bus_.Start(), "");
    }
    void StartStandIn(const std::string& parameters) { ASSERT_TRUE(bus_.StartStandIn(parameters)); }
    std::vector<std::string> Calls() const { return bus_.Calls(); }

    testing::StandInBus bus_;
};

TEST_F(ModemManagerStandIn, InhibitsTheModemThatListsThePortUntilTheSessionEnds) {
    using Outcome = ModemManagerInhibition::Outcome;
    const std::string uid = "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2";
    struct Case {
        const char* what;
        const char* device;
        std::string parameters;
        Outcome outcome;
        std::vector<std::string> calls;  // while inhibited, then after the end
        std::vector<std::string> after;
        const char* refusal;
    } cases[] = {
        {"managed",
         "/dev/ttyUSB2",
         R"({"device": ")" + uid + R"(", "ports": [["cdc-wdm0", 6], ["ttyUSB2", 2]]})",
         Outcome::kInhibited,
         {"InhibitDevice \"" + uid + "\" True"},
         {"InhibitDevice \"" + uid + "\" True", "InhibitDevice \"" + uid + "\" False"},
         ""},
        {"another port",
         "/dev/ttyUSB0",
         R"({"device": ")" + uid + R"(", "ports": [["ttyUSB2", 2]]})",
         Outcome::kNotManaged,
         {},
         {},
         ""},
        {"refused",
         "/dev/ttyUSB2",
         R"({"device": ")" + uid + R"(", "ports": [["ttyUSB2", 2]], "refuse": "not authorized"})",
         Outcome::kRefused,
         {},
         {},
         "not authorized"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StartStandIn(c.parameters);
        Outcome outcome = Outcome::kNotManaged;
        std::string refusal;
        auto inhibition = ModemManagerInhibition::Begin(c.device, outcome, refusal);
        EXPECT_EQ(outcome, c.outcome);
        EXPECT_EQ(inhibition != nullptr, c.outcome == Outcome::kInhibited);
        EXPECT_EQ(refusal, c.refusal);
        if (c.outcome != Outcome::kRefused) {
            EXPECT_EQ(Calls(), c.calls);
        }
        inhibition.reset();
        if (c.outcome != Outcome::kRefused) {
            // The log is written as each call comes.
            EXPECT_TRUE(WaitUntil([&] { return Calls() == c.after; }))
                << ::testing::PrintToString(Calls());
        }
    }
}

TEST_F(ModemManagerStandIn, NoServiceOrNoBusMeansNotManaged) {
    using Outcome = ModemManagerInhibition::Outcome;
    Outcome outcome = Outcome::kRefused;
    std::string refusal = "x";
    EXPECT_FALSE(ModemManagerClient().Running());
    EXPECT_EQ(ModemManagerInhibition::Begin("/dev/ttyUSB2", outcome, refusal), nullptr);
    EXPECT_EQ(outcome, Outcome::kNotManaged);
    EXPECT_EQ(refusal, "");

    ::setenv("DBUS_SYSTEM_BUS_ADDRESS",
             ("unix:path=" + (bus_.Folder() / "no-bus").string()).c_str(), 1);
    EXPECT_EQ(ModemManagerInhibition::Begin("/dev/ttyUSB2", outcome, refusal), nullptr);
    EXPECT_EQ(outcome, Outcome::kNotManaged);
}

}  // namespace
}  // namespace telvane
