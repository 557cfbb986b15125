#include "platform/event_set.h"

#include <algorithm>

namespace telvane {

EventSet::EventSet(size_t count) : flags_(count, 0) {}

void EventSet::Signal(size_t index) {
    {
        std::lock_guard lock(mutex_);
        if (index >= flags_.size() || flags_[index]) return;
        flags_[index] = 1;
        ++signalled_;
    }
    changed_.notify_all();
}

void EventSet::Reset(size_t index) {
    std::lock_guard lock(mutex_);
    if (index >= flags_.size() || !flags_[index]) return;
    flags_[index] = 0;
    --signalled_;
}

void EventSet::ResetAll() {
    std::lock_guard lock(mutex_);
    std::fill(flags_.begin(), flags_.end(), 0);
    signalled_ = 0;
}

bool EventSet::IsSignalled(size_t index) const {
    std::lock_guard lock(mutex_);
    return index < flags_.size() && flags_[index];
}

int EventSet::WaitAny(std::optional<std::chrono::nanoseconds> timeout) {
    std::unique_lock lock(mutex_);
    const auto ready = [this] { return signalled_ > 0; };
    if (timeout) {
        if (!changed_.wait_for(lock, *timeout, ready)) return -1;
    } else {
        changed_.wait(lock, ready);
    }
    for (size_t i = 0; i < flags_.size(); ++i) {
        if (flags_[i]) {
            flags_[i] = 0;
            --signalled_;
            return static_cast<int>(i);
        }
    }
    return -1;
}

void Event::Signal() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    changed_.notify_all();
}

void Event::Reset() {
    std::lock_guard lock(mutex_);
    signalled_ = false;
}

bool Event::Wait(std::chrono::nanoseconds timeout) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, timeout, [this] { return signalled_ || abandoned_; });
    if (abandoned_ || !signalled_) return false;
    signalled_ = false;
    return true;
}

void Event::Abandon() {
    {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
    }
    changed_.notify_all();
}

bool Event::Abandoned() const {
    std::lock_guard lock(mutex_);
    return abandoned_;
}

}  // namespace telvane
