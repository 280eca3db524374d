#include "platform/linux/MonotonicClock.h"

#include <cerrno>
#include <ctime>

namespace quorvel {

namespace {

timespec toTimespec(Nanos time) {
    timespec spec{};
    spec.tv_sec = static_cast<time_t>(time.count() / 1'000'000'000);
    spec.tv_nsec = static_cast<long>(time.count() % 1'000'000'000);
    return spec;
}

}  // namespace

Nanos monotonicNow() {
    // A monotonic clock: a wall-clock step must neither stretch a wait nor end the request early.
    timespec spec{};
    clock_gettime(CLOCK_MONOTONIC, &spec);
    return Nanos{std::int64_t{spec.tv_sec} * 1'000'000'000 + spec.tv_nsec};
}

void sleepUntil(Nanos until) {
    if (until <= monotonicNow()) {
        return;
    }
    // Sleep to an absolute time so that signals, which only raise the cancellation flag, neither
    // cut the pause short nor stretch it.
    timespec spec = toTimespec(until);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &spec, nullptr) == EINTR) {
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
