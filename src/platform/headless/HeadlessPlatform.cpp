#include "platform/headless/HeadlessPlatform.h"

#include <cerrno>
#include <ctime>

namespace quorvel {

namespace {

class HeadlessElement final : public Element {};

timespec toTimespec(Nanos time) {
    timespec spec{};
    spec.tv_sec = static_cast<time_t>(time.count() / 1'000'000'000);
    spec.tv_nsec = static_cast<long>(time.count() % 1'000'000'000);
    return spec;
}

}  // namespace

Nanos HeadlessPlatform::now() {
    // A monotonic clock: a wall-clock step must neither stretch a wait nor end the request early.
    timespec spec{};
    clock_gettime(CLOCK_MONOTONIC, &spec);
    return Nanos{std::int64_t{spec.tv_sec} * 1'000'000'000 + spec.tv_nsec};
}

void HeadlessPlatform::sleep(Nanos duration) {
    if (duration <= Nanos{0}) {
        return;
    }
    // Sleep to an absolute time so that signals, which only raise the cancellation flag, neither
    // cut the pause short nor stretch it.
    timespec until = toTimespec(now() + duration);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

ElementHandle HeadlessPlatform::applicationElement(Pid) {
    return std::make_unique<HeadlessElement>();
}

}  // namespace quorvel
