// A command asked for while a submission waits for the modem's "> " prompt (the controller's
// re-listing after a phonebook job, a signal poll) must not be typed into the PDU.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "modem/modem_engine.h"
#include "modemsim/sim_pdu.h"
#include "modemsim/simulated_modem.h"
#include "platform/serial_devices.h"

namespace telvane {
namespace {

using namespace std::chrono_literals;

TEST(PromptGuard, CommandsWaitUntilThePduIsTyped) {
    std::string error;
    auto scenario = modemsim::ParseScenario(
        "[messages]\n1 = REC READ | +886912345678 | 26/12/01,09:15:00+32 | Hello\n", &error);
    ASSERT_TRUE(scenario) << error;
    modemsim::SimulatedModem modem(*scenario);
    const std::string device = modem.Start();
    ASSERT_FALSE(device.empty()) << modem.Error();
    SerialDeviceTable::Instance().Register("COM4", device);

    std::atomic<int> listings{0}, sends{0}, started{0};
    {
        ModemEngine engine(Timing(0.05));
        ASSERT_EQ(engine.Open(4,
                              [&](Notification code) {
                                  if (code == Notification::kStarted) ++started;
                                  if (code == Notification::kListingFinished) ++listings;
                                  if (code == Notification::kMessageSent) ++sends;
                              }),
                  1);
        for (int i = 0; i < 300 && !(started.load() && engine.Registered()); ++i)
            std::this_thread::sleep_for(10ms);
        ASSERT_TRUE(engine.Registered());

        for (const std::u16string text : {u"first", u"second"}) {
            const int before = sends.load();
            ASSERT_EQ(engine.SendTextMessage(u"0912345678", text), 1);
            // Right behind the send command, inside its pause before the PDU.
            for (int i = 0; i < 200 && modem.CountCommands("+CMGS=") == before; ++i)
                std::this_thread::sleep_for(1ms);
            ASSERT_EQ(modem.CountCommands("+CMGS="), before + 1);
            // The previous listing's worker may still be winding down.
            int listing = 0;
            for (int i = 0; i < 100 && !listing; ++i) {
                listing = engine.ListMessages(4);
                if (!listing) std::this_thread::sleep_for(1ms);
            }
            EXPECT_EQ(listing, 1);
            engine.RequestSignalQuality();
            for (int i = 0; i < 300 && sends.load() == before; ++i)
                std::this_thread::sleep_for(10ms);
            EXPECT_EQ(sends.load(), before + 1);
            for (int i = 0; i < 300 && listings.load() < sends.load(); ++i)
                std::this_thread::sleep_for(10ms);
        }
        EXPECT_EQ(listings.load(), 2);
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
