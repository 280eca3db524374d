#include <gtest/gtest.h>

#include "platform/linux/common/MonotonicClock.h"
#include "platform/linux/common/PreciseSleep.h"

namespace quorvel {
namespace {

using std::chrono::microseconds;

// The sleep asks the kernel to wake it early; whatever the kernel does, the pause must not end
// before its time, since the driver's pauses are the shortest the applications were shown to
// need.
TEST(PreciseSleep, NeverEndsBeforeItsTime) {
    PreciseSleep sleep;
    const Nanos durations[] = {Nanos{0},          microseconds(1),    microseconds(40),
                               microseconds(200), microseconds(1000), microseconds(3000)};
    for (int round = 0; round < 5; ++round) {
        for (Nanos duration : durations) {
            Nanos until = monotonicNow() + duration;
            sleep.until(until);
            EXPECT_GE(monotonicNow(), until) << duration.count() << " ns, round " << round;
            EXPECT_LE(sleep.wakeEarly(), microseconds(1250));
        }
    }
    Nanos past = monotonicNow() - microseconds(500);
    sleep.until(past);
    EXPECT_GE(monotonicNow(), past);
}

}  // namespace
}  // namespace quorvel
