#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "modem/modem_engine.h"
#include "modemsim/simulated_modem.h"
#include "platform/serial_devices.h"

namespace telvane {
namespace {

using namespace std::chrono_literals;

// Collects the engine's notifications as they arrive on its dispatcher thread.
class Notifications {
  public:
    EngineCallback Callback() {
        return [this](int32_t code) {
            {
                std::lock_guard lock(mutex_);
                codes_.push_back(code);
            }
            changed_.notify_all();
        };
    }
    bool WaitFor(int32_t code, std::chrono::milliseconds timeout = 10s) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return CountLocked(code) > 0; });
    }
    int Count(int32_t code) const {
        std::lock_guard lock(mutex_);
        return CountLocked(code);
    }
    std::vector<int32_t> Codes() const {
        std::lock_guard lock(mutex_);
        return codes_;
    }

  private:
    int CountLocked(int32_t code) const {
        int n = 0;
        for (int32_t c : codes_)
            n += c == code;
        return n;
    }
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int32_t> codes_;
};

modemsim::Scenario Load(const std::string& text) {
    std::string error;
    auto scenario = modemsim::ParseScenario(text, &error);
    EXPECT_TRUE(scenario) << error;
    return scenario ? *scenario : modemsim::Scenario{};
}

TEST(EngineAgainstSim, StartsUpAndListsMessages) {
    modemsim::SimulatedModem modem(Load(R"([messages]
1 = REC UNREAD | +886912345678 | 26/12/01,09:15:00+32 | See you at 7
)"));
    const std::string device = modem.Start();
    ASSERT_FALSE(device.empty()) << modem.Error();
    SerialDeviceTable::Instance().Register("COM2", device);
    Notifications notes;
    ModemEngine engine(Timing(0.02));
    ASSERT_EQ(engine.Open(2, notes.Callback()), 1) << engine.OpenError();
    ASSERT_TRUE(notes.WaitFor(notify::kStarted));
    EXPECT_TRUE(notes.WaitFor(notify::kOperator));
    EXPECT_EQ(engine.OperatorText(), u"46692");
    EXPECT_TRUE(engine.Registered());
    ASSERT_EQ(engine.ListMessages(4), 1);
    ASSERT_TRUE(notes.WaitFor(notify::kListingFinished));
    ASSERT_EQ(engine.ListingSize(), 1);
    EXPECT_EQ(engine.ListingEntry(0).text, u"See you at 7");
    EXPECT_EQ(engine.ListingEntry(0).status, u"REC UNREAD");
    for (auto& c : modem.Commands())
        printf("%s\n", c.c_str());
}

}  // namespace
}  // namespace telvane
