#include "platform/linux/common/MonotonicClock.h"

#include <cerrno>
#include <ctime>

namespace quorvel {

namespace {

timespec toTimespec(Nanos time) {
    timespec clockTime{};
    clockTime.tv_sec = static_cast<time_t>(time.count() / 1'000'000'000);
    clockTime.tv_nsec = static_cast<long>(time.count() % 1'000'000'000);
    return clockTime;
}

}  // namespace

Nanos monotonicNow() {
    // A monotonic clock: a wall-clock step must neither stretch a wait nor end the request early.
    timespec clockTime{};
    clock_gettime(CLOCK_MONOTONIC, &clockTime);
    return Nanos{std::int64_t{clockTime.tv_sec} * 1'000'000'000 + clockTime.tv_nsec};
}

void sleepUntil(Nanos until) {
    if (until <= monotonicNow()) {
        return;
    }
    // Sleep to an absolute time so that signals, which only raise the cancellation flag, neither
    // cut the pause short nor stretch it.
    timespec clockTime = toTimespec(until);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &clockTime, nullptr) == EINTR) {
    }
}

void sleepFor(Nanos duration) {
    if (duration <= Nanos{0}) {
        return;
    }
    Nanos now = monotonicNow();
    sleepUntil(duration >= Nanos::max() - now ? Nanos::max() : now + duration);
}

}  // namespace quorvel
