// Event objects: a set of auto-reset flags that one thread waits on together, and single
// auto-reset events with timed waits.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <vector>

namespace telvane {

// N auto-reset flags under one mutex and condition variable.
class EventSet {
  public:
    explicit EventSet(size_t count);

    size_t Count() const { return flags_.size(); }
    // Out-of-range indexes are ignored.
    void Signal(size_t index);
    void Reset(size_t index);
    void ResetAll();
    bool IsSignalled(size_t index) const;

    // Waits until a flag is signalled, resets the lowest signalled one and returns its index, so
    // lower indexes win when several are set.  -1 when `timeout` passed first.
    int WaitAny(std::optional<std::chrono::nanoseconds> timeout = std::nullopt);

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<char> flags_;
    size_t signalled_ = 0;
};

// One auto-reset event.  Abandon() is for teardown: every wait, present or future, returns false
// at once, so that threads parked in long timed waits can be joined promptly.
class Event {
  public:
    void Signal();
    void Reset();
    // true when the event was signalled within `timeout` (and resets it); false on time-out or
    // once abandoned.
    bool Wait(std::chrono::nanoseconds timeout);
    void Abandon();
    bool Abandoned() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
    bool abandoned_ = false;
};

}  // namespace telvane
