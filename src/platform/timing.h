// The one knob for time: every pause, timed wait and window-timer period goes through a Timing,
// so that tests can run a 20 s modem sequence in well under a second.
#pragma once

#include <chrono>
#include <cstdint>

namespace telvane {

class Timing {
  public:
    // `scale` multiplies every period: 1.0 in the product, 0.01-0.05 in tests.  A negative or
    // non-finite scale counts as 1.0.
    explicit Timing(double scale = 1.0);

    double Scale() const { return scale_; }

    // `milliseconds` scaled, at nanosecond resolution; 0 or less gives 0.
    std::chrono::nanoseconds Scaled(int64_t milliseconds) const;
    // Scaled whole milliseconds for window timers: at least 1 for a positive period.
    int32_t ScaledMilliseconds(int64_t milliseconds) const;

    // Sleeps for the scaled period.  For pauses that nothing needs to cut short.
    void Sleep(int64_t milliseconds) const;

  private:
    double scale_;
};

}  // namespace telvane
