// Waiting in tests: for the condition a test means, never for a fixed time.  One ceiling bounds
// every wait; it only stops a hung test and is never reached by a working one, however loaded
// the machine.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace telvane::testing {

inline constexpr std::chrono::milliseconds kHangCeiling{60'000};

// Polls `done` until it holds; false when the ceiling passed first.  For conditions nobody
// signals (a file appearing, a modem's transcript); prefer a queue that is notified.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds ceiling = kHangCeiling) {
    const auto end = std::chrono::steady_clock::now() + ceiling;
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace telvane::testing
