#pragma once

#include "main/Runtime.h"

namespace quorvel {

// Passes while the request may still run and `pid` is the frontmost application; otherwise fails
// with the deadline or cancellation failure, or with "Target lost focus...". It never tries to
// win the focus back.
void checkFocus(Runtime& runtime, Pid pid);

}  // namespace quorvel
