// The modem shared with the system: a port another program holds is refused naming it; a link
// lost while up is said without an error box when the modem was unplugged, and a modem that
// returns is reconnected by itself when the settings ask for it (the user's own Connect ends
// the wait).
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "control/ui_strings.h"
#include "controller_fixture.h"
#include "platform/port_holder.h"
#include "platform/serial_devices.h"
#include "support/holder_process.h"
#include "support/modem_manager_standin.h"
#include "support/wait.h"

namespace telvane::testing {
namespace {

namespace fs = std::filesystem;

class ReconnectTest : public ControllerTest {
  protected:
    void SetUp() override {
        ControllerTest::SetUp();
        device_ = data / "ttyUSB2";
        std::ofstream(device_) << "";
        SerialDeviceTable::Instance().Register("COM1", device_.string());
    }
    void TearDown() override { SerialDeviceTable::Instance().Unregister("COM1"); }

    void LoseTheLink() {
        Emit(Notification::kLinkLost);
        Emit(Notification::kStartupFailed);
        ASSERT_TRUE(window.Fire(kTimerDisconnect));
    }

    fs::path device_;
};

TEST_F(ReconnectTest, ALostLinkIsSaidAndWaitedForAsTheSettingsAsk) {
    const struct {
        const char* what;
        bool reconnect;
        bool unplugged;
        std::u16string status;
        bool box;
    } cases[] = {
        {"unplugged, awaited", true, true,
         u"Modem unplugged \u2014 Waiting for the modem to return", false},
        {"unplugged", false, true, u"Modem unplugged", false},
        {"dropped, awaited", true, false,
         u"The link to the modem dropped \u2014 Waiting for the modem to return", false},
        {"dropped", false, false, u"The link to the modem dropped", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        window.messageTexts.clear();
        std::ofstream(device_) << "";
        window.settings.reconnectOnReturn = c.reconnect;
        GoOnline();
        if (c.unplugged) fs::remove(device_);
        LoseTheLink();
        EXPECT_FALSE(controller->HasEngine());
        EXPECT_EQ(window.status, c.status);
        EXPECT_EQ(window.messageTexts.empty(), !c.box);
        EXPECT_EQ(window.TimerRunning(kTimerReconnect), c.reconnect);
        // The user's Connect ends any wait and connects at once.
        std::ofstream(device_) << "";
        GoOnline();
        EXPECT_FALSE(window.TimerRunning(kTimerReconnect));
        controller->Connect();
        ASSERT_TRUE(window.Fire(kTimerDisconnect));
    }
}

// A pseudo-terminal's number is handed to the next one any program opens: waiting for it to
// "return" would connect to a stranger's line.
TEST_F(ReconnectTest, ALostPseudoTerminalIsNotAwaited) {
    int master = -1;
    int slave = -1;
    char name[128] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    SerialDeviceTable::Instance().Register("COM1", name);
    window.settings.reconnectOnReturn = true;
    GoOnline();
    LoseTheLink();
    EXPECT_FALSE(controller->HasEngine());
    EXPECT_FALSE(window.TimerRunning(kTimerReconnect));
    ::close(master);
    ::close(slave);
}

TEST_F(ReconnectTest, AReturningModemIsReconnectedAndItsMessagesListed) {
    GoOnline();
    fs::remove(device_);
    LoseTheLink();
    // Still away: the wait goes on, no connect is tried.
    ASSERT_TRUE(window.Fire(kTimerReconnect));
    EXPECT_FALSE(controller->HasEngine());
    EXPECT_TRUE(window.TimerRunning(kTimerReconnect));

    // Back, but the start-up fails (the modem still resets): quietly back to waiting.
    std::ofstream(device_) << "";
    ASSERT_TRUE(window.Fire(kTimerReconnect));
    EXPECT_TRUE(controller->HasEngine());
    OpenPort();
    Emit(Notification::kModemSilent);
    Emit(Notification::kStartupFailed);
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    EXPECT_TRUE(window.messageTexts.empty());
    EXPECT_TRUE(window.TimerRunning(kTimerReconnect));

    // Answering now: the whole start-up, then the messages are listed.
    window.settings.syncSms = true;
    ASSERT_TRUE(window.Fire(kTimerReconnect));
    OpenPort();
    const int listings = script->listings;
    Emit(Notification::kOperator);
    EXPECT_TRUE(controller->IsOnline());
    EXPECT_EQ(script->listings, listings + 1);
    EXPECT_FALSE(window.TimerRunning(kTimerReconnect));
    EXPECT_TRUE(window.messageTexts.empty());
}

TEST_F(ReconnectTest, APortHeldByAnotherProgramIsRefusedInOneBoxNamingIt) {
    int master = -1;
    int slave = -1;
    char name[128] = {};
    ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
    const std::string path = name;
    SerialDeviceTable::Instance().Register("COM1", path);
    {
        HolderProcess holder(path);
        ASSERT_TRUE(WaitUntil([&] {
            const std::optional<PortHolder> found = FindPortHolder(path, {});
            return found && found->name == "sleep";
        }));
        script->openResult = 0;
        Connect();
        const std::u16string text = u"The port " + Utf8ToU16(path) + u" is in use by sleep (pid " +
                                    Widen(std::to_string(holder.Pid())) + u")";
        EXPECT_EQ(window.messageTexts, std::vector<std::u16string>{text});
        EXPECT_EQ(window.status, u"Initialize failed: " + text);
        EXPECT_FALSE(controller->HasEngine());
    }
    ::close(master);
    ::close(slave);
}

// ModemManager (a stand-in on a private bus) manages the chosen modem: it is asked to let go for
// the session and given the modem back at the disconnect; a refusal is shown with the remedy.
class ModemManagerControllerTest : public ReconnectTest {
  protected:
    void SetUp() override {
        ReconnectTest::SetUp();
        if (!HaveStandIn()) GTEST_SKIP() << "dbus-daemon or python3-dbusmock is not installed";
        ASSERT_EQ(bus_.Start(), "");
    }
    StandInBus bus_;
};

TEST_F(ModemManagerControllerTest, TheModemIsInhibitedForTheSessionOrTheRefusalShown) {
    const std::string modem = R"({"device": "usb-1-2", "ports": [["ttyUSB2", 2]])";
    ASSERT_TRUE(bus_.StartStandIn(modem + "}"));
    GoOnline();
    EXPECT_EQ(bus_.Calls(), std::vector<std::string>{"InhibitDevice \"usb-1-2\" True"});
    EXPECT_TRUE(window.messageTexts.empty());
    controller->Connect();
    ASSERT_TRUE(window.Fire(kTimerDisconnect));
    EXPECT_TRUE(WaitUntil([&] {
        return bus_.Calls() == std::vector<std::string>{"InhibitDevice \"usb-1-2\" True",
                                                        "InhibitDevice \"usb-1-2\" False"};
    }));

    ASSERT_TRUE(bus_.StartStandIn(modem + R"(, "refuse": "not authorized"})"));
    Connect();
    const std::u16string refusal =
        u"ModemManager would not let go of the modem: not authorized\nAdd the udev rule in the "
        u"README's \"Connecting a real modem\" so that ModemManager leaves this modem alone.";
    EXPECT_EQ(window.messageTexts, std::vector<std::u16string>{refusal});
}

TEST_F(ModemManagerControllerTest, TheWindowGoesOnWhileModemManagerIsSlowToAnswer) {
    const fs::path gate = bus_.Folder() / "answer";
    const std::string modem =
        R"({"device": "usb-1-2", "ports": [["ttyUSB2", 2]], "hold": ")" + gate.string() + R"("})";
    const std::vector<std::string> inhibited{"InhibitDevice \"usb-1-2\" True"};
    const std::vector<std::string> ended{"InhibitDevice \"usb-1-2\" True",
                                         "InhibitDevice \"usb-1-2\" False"};
    // The window goes on meanwhile: what the controller is told arrives as posted work.
    const auto heard = [&](const std::vector<std::string>& calls) {
        return window.PumpUntil([&] { return bus_.Calls() == calls; });
    };
    // What happens while ModemManager holds its answer to the inhibition; the last one closes the
    // window.
    enum class Then { kAnswered, kCancelled, kClosed };
    for (const Then then : {Then::kAnswered, Then::kCancelled, Then::kClosed}) {
        SCOPED_TRACE(static_cast<int>(then));
        fs::remove(gate);
        ASSERT_TRUE(bus_.StartStandIn(modem));
        const int opens = script->opens;
        controller->Connect();
        window.Pump();
        // Returns while the question is unanswered: the port is not opened before the answer.
        ASSERT_TRUE(window.Fire(kTimerOpenPort));
        ASSERT_TRUE(heard(inhibited));
        EXPECT_TRUE(controller->AwaitingModemManager());
        EXPECT_EQ(script->opens, opens);
        EXPECT_EQ(window.status, LoadUiString(ui_text::kConnecting));

        if (then == Then::kAnswered) {
            std::ofstream(gate) << "";
            ASSERT_TRUE(window.PumpUntil([&] { return !controller->AwaitingModemManager(); }));
            EXPECT_EQ(script->opens, opens + 1);
            Emit(Notification::kOperator);
            EXPECT_TRUE(controller->IsOnline());
            // ModemManager slow again: the disconnect does not wait for it either.
            fs::remove(gate);
            controller->Connect();
            ASSERT_TRUE(window.Fire(kTimerDisconnect));
            EXPECT_FALSE(controller->HasEngine());
            EXPECT_TRUE(heard(ended));
            std::ofstream(gate) << "";
            continue;
        }
        if (then == Then::kCancelled) {
            controller->Connect();
            window.Pump();
            EXPECT_FALSE(controller->HasEngine());
        } else {
            window.controller = nullptr;
            controller.reset();
        }
        // Granted after all: the inhibition the connect no longer wants is ended.
        std::ofstream(gate) << "";
        EXPECT_TRUE(heard(ended));
        if (controller) {
            ASSERT_TRUE(window.PumpUntil([&] { return !controller->AwaitingModemManager(); }));
            EXPECT_EQ(script->opens, opens);
        }
    }
}

}  // namespace
}  // namespace telvane::testing
