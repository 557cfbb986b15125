#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "platform/event_set.h"
#include "platform/timing.h"
#include "platform/worker_slot.h"

namespace telvane {
namespace {

using namespace std::chrono_literals;

TEST(EventSet, WaitAnyTakesTheLowestSignalledFlagAndResetsIt) {
    EventSet events(38);
    events.Signal(16);
    events.Signal(1);
    events.Signal(37);
    events.Signal(1);  // auto-reset flags collapse repeated signals
    EXPECT_EQ(events.WaitAny(0ms), 1);
    EXPECT_EQ(events.WaitAny(0ms), 16);
    EXPECT_EQ(events.WaitAny(0ms), 37);
    EXPECT_EQ(events.WaitAny(1ms), -1);
    events.Signal(38);  // out of range: ignored
    EXPECT_EQ(events.WaitAny(1ms), -1);
}

TEST(EventSet, WaitAnyWakesForASignalFromAnotherThread) {
    EventSet events(4);
    std::thread signaller([&] {
        std::this_thread::sleep_for(5ms);
        events.Signal(3);
    });
    EXPECT_EQ(events.WaitAny(), 3);
    signaller.join();
    events.Signal(2);
    events.ResetAll();
    EXPECT_FALSE(events.IsSignalled(2));
}

TEST(Event, TimedWaitIsAutoResetAndAbandonEndsEveryWait) {
    Event event;
    EXPECT_FALSE(event.Wait(1ms));
    event.Signal();
    EXPECT_TRUE(event.Wait(0ms));
    EXPECT_FALSE(event.Wait(0ms));

    std::atomic<bool> returned{false};
    std::thread waiter([&] {
        EXPECT_FALSE(event.Wait(std::chrono::hours(1)));
        returned = true;
    });
    std::this_thread::sleep_for(5ms);
    event.Abandon();
    waiter.join();
    EXPECT_TRUE(returned);
    event.Signal();
    EXPECT_FALSE(event.Wait(0ms));
}

TEST(Timing, ScalesEveryPeriod) {
    const Timing fast(0.01);
    EXPECT_EQ(fast.Scaled(20000), std::chrono::milliseconds(200));
    EXPECT_EQ(fast.Scaled(50), std::chrono::microseconds(500));
    EXPECT_EQ(fast.ScaledMilliseconds(50), 1);  // a window timer never becomes 0
    EXPECT_EQ(fast.Scaled(0), 0ns);
    EXPECT_EQ(fast.Scaled(-5), 0ns);
    EXPECT_EQ(Timing(-1.0).Scale(), 1.0);
    EXPECT_EQ(Timing().ScaledMilliseconds(15000), 15000);
}

TEST(WorkerSlot, RefusesWhileRunningAndFreesItselfAtTheEnd) {
    WorkerSlot slot;
    std::atomic<bool> release{false};
    std::atomic<int> runs{0};
    ASSERT_TRUE(slot.Start([&] {
        while (!release)
            std::this_thread::sleep_for(1ms);
        ++runs;
    }));
    EXPECT_TRUE(slot.Running());
    EXPECT_FALSE(slot.Start([&] { ++runs; }));
    EXPECT_FALSE(slot.WaitFree(2ms));
    release = true;
    EXPECT_TRUE(slot.WaitFree(10s));
    EXPECT_TRUE(slot.Start([&] { ++runs; }));
    slot.Join();
    EXPECT_EQ(runs, 2);
    EXPECT_FALSE(slot.Running());
    slot.Join();  // joining an empty slot is harmless
}

// A job announces its end in what its body returns: whoever starts the next job on that
// announcement must find the slot free.
TEST(WorkerSlot, WhatTheBodyReturnsRunsOnceTheSlotIsFree) {
    WorkerSlot slot;
    std::promise<bool> freeAtAnnouncement;
    ASSERT_TRUE(slot.StartThen([&] {
        return std::function<void()>([&] { freeAtAnnouncement.set_value(!slot.Running()); });
    }));
    EXPECT_TRUE(freeAtAnnouncement.get_future().get());
    slot.Join();
}

}  // namespace
}  // namespace telvane
