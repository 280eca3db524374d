#include "main/Runtime.h"

#include <cmath>
#include <limits>

#include "main/Failure.h"

namespace quorvel {

CancellationFlag cancellationRequested{0};

Nanos Deadline::at(Platform& platform) {
    if (!deadline_) {
        deadline_ = platform.now() + requestTimeLimit;
    }
    return *deadline_;
}

bool Deadline::passed(Platform& platform) const {
    return deadline_ && platform.now() >= *deadline_;
}

bool Runtime::pastDeadlineOrCancelled() {
    if (cancellationRaised()) {
        return true;
    }
    Nanos current = platform.now();
    return current >= deadline.at(platform);
}

void checkCancellation(Runtime& runtime) {
    // The clock is read before the deadline may be created, so the first check never reports it.
    Nanos current = runtime.platform.now();
    if (current >= runtime.deadline.at(runtime.platform)) {
        fail("Computer request deadline exceeded; observe before retrying.");
    }
    if (runtime.cancellationRaised()) {
        fail("Computer request cancelled; observe before retrying.");
    }
}

void settle(Runtime& runtime, Nanos duration) {
    runtime.platform.sleep(duration);
}

Nanos fromSeconds(double seconds) {
    constexpr double largest = static_cast<double>(std::numeric_limits<Nanos::rep>::max()) / 1e9;
    if (!(seconds > 0)) {
        return Nanos{0};
    }
    if (seconds >= largest) {
        return Nanos::max();
    }
    return Nanos{static_cast<Nanos::rep>(std::llround(seconds * 1e9))};
}

}  // namespace quorvel
