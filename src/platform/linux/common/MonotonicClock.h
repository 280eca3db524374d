#pragma once

// Real time for a real desktop: a clock that never goes backwards and sleeps that signals
// neither cut short nor stretch.

#include "platform/Platform.h"

namespace quorvel {

Nanos monotonicNow();

// Blocks until `duration` has passed, whatever signals arrive meanwhile.
void sleepFor(Nanos duration);

// Blocks until the clock reads `until`, or returns at once if it already does.
void sleepUntil(Nanos until);

}  // namespace quorvel
