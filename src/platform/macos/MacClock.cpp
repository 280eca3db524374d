#include "platform/macos/MacClock.h"

#include <time.h>

namespace quorvel::macos {

Nanos monotonicNow() {
    // A wall-clock step must neither stretch a wait nor end the request early.
    timespec clockTime{};
    clock_gettime(CLOCK_MONOTONIC, &clockTime);
    return Nanos{std::int64_t{clockTime.tv_sec} * 1'000'000'000 + clockTime.tv_nsec};
}

void sleepUntil(Nanos until) {
    // macOS has no absolute-time sleep: a signal ends nanosleep early, so the rest is slept
    // again from a fresh reading of the clock until none is left.
    for (Nanos left = until - monotonicNow(); left > Nanos{0}; left = until - monotonicNow()) {
        timespec pause{};
        pause.tv_sec = static_cast<time_t>(left.count() / 1'000'000'000);
        pause.tv_nsec = static_cast<long>(left.count() % 1'000'000'000);
        nanosleep(&pause, nullptr);
    }
}

}  // namespace quorvel::macos
