// A command asked for while a submission waits for the modem's "> " prompt (the controller's
// re-listing after a phonebook job, a signal poll) must not be typed into the PDU.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "modem/modem_engine.h"
#include "modemsim/sim_pdu.h"
#include "modemsim/simulated_modem.h"
#include "platform/serial_devices.h"
#include "support/notification_queue.h"
#include "support/wait.h"

namespace telvane {
namespace {

using testing::EngineNotifications;
using testing::WaitUntil;

TEST(PromptGuard, CommandsWaitUntilThePduIsTyped) {
    std::string error;
    auto scenario = modemsim::ParseScenario(
        "[messages]\n1 = REC READ | +886912345678 | 26/12/01,09:15:00+32 | Hello\n", &error);
    ASSERT_TRUE(scenario) << error;
    modemsim::SimulatedModem modem(*scenario);
    const std::string device = modem.Start();
    ASSERT_FALSE(device.empty()) << modem.Error();
    SerialDeviceTable::Instance().Register("COM4", device);

    EngineNotifications notes;
    {
        ModemEngine engine(Timing(0.05));
        ASSERT_EQ(engine.Open(4, notes.Callback()), 1);
        ASSERT_TRUE(notes.WaitFor(Notification::kStarted));
        ASSERT_TRUE(WaitUntil([&] { return engine.Registered(); }));

        for (const std::u16string text : {u"first", u"second"}) {
            const int before = notes.Count(Notification::kSendDone);
            ASSERT_TRUE(engine.SendTextMessage(u"0912345678", text));
            // Right behind the send command, inside its pause before the PDU.
            ASSERT_TRUE(WaitUntil([&] { return modem.CountCommands("+CMGS=") > before; }));
            ASSERT_EQ(modem.CountCommands("+CMGS="), before + 1);
            // The previous listing's worker may still be winding down.
            EXPECT_TRUE(WaitUntil([&] { return static_cast<bool>(engine.ListMessages(4)); }));
            engine.RequestSignalQuality();
            ASSERT_TRUE(notes.WaitFor(Notification::kSendDone, before + 1));
            ASSERT_TRUE(notes.WaitFor(Notification::kListingFinished, before + 1));
        }
        EXPECT_EQ(notes.Count(Notification::kSendDone), 2);
        EXPECT_EQ(notes.Count(Notification::kListingFinished), 2);
    }
    SerialDeviceTable::Instance().Unregister("COM4");

    for (const modemsim::TranscriptEntry& entry : modem.Transcript()) {
        if (entry.kind != modemsim::TranscriptEntry::Kind::Pdu) continue;
        EXPECT_EQ(entry.text.find_first_not_of("0123456789ABCDEF"), std::string::npos)
            << entry.text;
    }
    ASSERT_EQ(modem.SubmittedPdus().size(), 2u);
    EXPECT_EQ(modemsim::DecodeForTextMode(modem.SubmittedPdus()[1]).text, "second");
}

}  // namespace
}  // namespace telvane
