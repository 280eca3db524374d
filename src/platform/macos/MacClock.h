#pragma once

// Real time on a Mac: a clock that never goes backwards and sleeps that signals neither cut
// short nor stretch. The tests put a virtual clock in place of this file.

#include "platform/Platform.h"

namespace quorvel::macos {

Nanos monotonicNow();

// Blocks until the clock reads `until`, whatever signals arrive meanwhile.
void sleepUntil(Nanos until);

}  // namespace quorvel::macos
