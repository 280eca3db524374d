#include "platform/linux/common/PreciseSleep.h"

#include <algorithm>

#include "platform/linux/common/MonotonicClock.h"

namespace quorvel {

namespace {

// The waiting on the clock stays short even after a sleep that woke very late.
constexpr Nanos mostLateness = std::chrono::milliseconds(1);

}  // namespace

void PreciseSleep::until(Nanos until) {
    Nanos wake = until - wakeEarly();
    if (wake > monotonicNow()) {
        sleepUntil(wake);
        Nanos late = std::clamp(monotonicNow() - wake, Nanos{0}, mostLateness);
        lateness_ = (3 * lateness_ + late) / 4;
    }
    while (monotonicNow() < until) {
    }
}

}  // namespace quorvel
