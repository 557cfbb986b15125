// How fast a serial line carries bytes: at most one byte per 10 bit times (start, 8 data, stop).
//
//   LinePacer pacer(9600);
//   size_t n = std::min(pending, pacer.Allowance(now));   // 0: wait until pacer.FreeAt()
//   ... write n bytes ...
//   pacer.Wrote(n, now);
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>

namespace telvane::modemsim {

class LinePacer {
  public:
    using Clock = std::chrono::steady_clock;
    // Bytes go out in slices of this much line time.  A writer that wakes up to a slice late
    // keeps the line's schedule (the rate holds on a busy machine); a line idle for longer
    // starts afresh, so no burst ever beats the line by more than a slice.
    static constexpr std::chrono::milliseconds kSlice{4};

    explicit LinePacer(int baud) : baud_(baud) {}

    bool Paced() const { return baud_ > 0; }

    // How many bytes may be written at `now`; unlimited when unpaced.
    size_t Allowance(Clock::time_point now) const {
        if (!Paced()) return SIZE_MAX;
        if (now < freeAt_) return 0;
        return static_cast<size_t>(
            std::max<int64_t>(1, int64_t{baud_} / 10 * kSlice.count() / 1000));
    }

    void Wrote(size_t bytes, Clock::time_point now) {
        if (!Paced() || bytes == 0) return;
        freeAt_ = (now - freeAt_ <= kSlice ? freeAt_ : now) +
                  std::chrono::nanoseconds(static_cast<int64_t>(bytes) * 10 * 1000000000LL / baud_);
    }

    // When the line has carried everything written so far.
    Clock::time_point FreeAt() const { return freeAt_; }

  private:
    int baud_;
    Clock::time_point freeAt_{};
};

}  // namespace telvane::modemsim
