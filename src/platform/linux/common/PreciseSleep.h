#pragma once

// Pauses that end when asked. The kernel wakes a sleeper some tens of microseconds late, and a
// text's thousands of 5 ms pauses would add that up: the sleep asks to be woken that much early,
// as the last sleeps measured it, and waits out the rest on the clock.

#include "platform/Platform.h"

namespace quorvel {

class PreciseSleep {
  public:
    // Blocks until the clock reads `until`, whatever signals arrive meanwhile; never returns
    // before it.
    void until(Nanos until);

    // How early the next sleep asks to be woken.
    Nanos wakeEarly() const { return lateness_ + lateness_ / 4; }

  private:
    // The kernel's recent lateness in waking a sleeper, as a moving average.
    Nanos lateness_{std::chrono::microseconds(80)};
};

}  // namespace quorvel
