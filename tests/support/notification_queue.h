// Records notifications as they arrive on another thread and lets a test wait for one.
//
//   EngineNotifications notes;
//   engine.Open(2, notes.Callback());
//   ASSERT_TRUE(notes.WaitFor(Notification::Started));
//   ASSERT_TRUE(notes.WaitFor(Notification::MessageSent, 3));  // the third one
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "modem/modem_engine.h"
#include "support/wait.h"

namespace telvane::testing {

template <class Code>
class NotificationQueue {
  public:
    // Safe to call from any thread, for as long as the queue lives.
    std::function<void(Code)> Callback() {
        return [this](Code code) { Push(code); };
    }

    void Push(Code code) {
        {
            std::lock_guard lock(mutex_);
            codes_.push_back(code);
        }
        changed_.notify_all();
    }

    // Waits until `code` has arrived `count` times in all.
    bool WaitFor(Code code, int count = 1, std::chrono::milliseconds ceiling = kHangCeiling) {
        return WaitUntil(
            [&](const std::vector<Code>& codes) { return Tally(codes, code) >= count; }, ceiling);
    }

    // Waits until `done` holds for everything received so far, in order of arrival.
    bool WaitUntil(const std::function<bool(const std::vector<Code>&)>& done,
                   std::chrono::milliseconds ceiling = kHangCeiling) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, ceiling, [&] { return done(codes_); });
    }

    int Count(Code code) const {
        std::lock_guard lock(mutex_);
        return Tally(codes_, code);
    }
    std::vector<Code> Received() const {
        std::lock_guard lock(mutex_);
        return codes_;
    }
    // Forgets what arrived, so that a later WaitFor counts from here.
    void Clear() {
        std::lock_guard lock(mutex_);
        codes_.clear();
    }

  private:
    static int Tally(const std::vector<Code>& codes, Code code) {
        return static_cast<int>(std::count(codes.begin(), codes.end(), code));
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Code> codes_;
};

namespace detail {
template <class Callback>
struct CodeOf;
template <class Code>
struct CodeOf<std::function<void(Code)>> {
    using type = Code;
};
}  // namespace detail

// The queue for what the modem engine reports.
using EngineNotifications = NotificationQueue<typename detail::CodeOf<EngineCallback>::type>;

}  // namespace telvane::testing
