#include "platform/timing.h"

#include <cmath>
#include <thread>

namespace telvane {

Timing::Timing(double scale) : scale_(std::isfinite(scale) && scale >= 0.0 ? scale : 1.0) {}

std::chrono::nanoseconds Timing::Scaled(int64_t milliseconds) const {
    if (milliseconds <= 0) return std::chrono::nanoseconds(0);
    const double ns = static_cast<double>(milliseconds) * 1e6 * scale_;
    // Caps at about 290 years, far beyond any period used here, instead of overflowing.
    if (ns >= 9.0e18) return std::chrono::nanoseconds(INT64_C(9000000000000000000));
    return std::chrono::nanoseconds(static_cast<int64_t>(ns));
}

int32_t Timing::ScaledMilliseconds(int64_t milliseconds) const {
    if (milliseconds <= 0) return 0;
    const int64_t ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Scaled(milliseconds)).count();
    if (ms < 1) return 1;
    if (ms > INT32_MAX) return INT32_MAX;
    return static_cast<int32_t>(ms);
}

void Timing::Sleep(int64_t milliseconds) const {
    std::this_thread::sleep_for(Scaled(milliseconds));
}

}  // namespace telvane
