#pragma once

#include "batch/Batch.h"

namespace quorvel {

// Brings the pointer to `position` through the guarded road, then pauses 0.12 s. Every pointer
// action opens with it, so no press or scroll lands before the pointer is there.
void movePointerTo(Batch& batch, ScreenPoint position);

}  // namespace quorvel
