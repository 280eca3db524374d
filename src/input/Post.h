#pragma once

// The two roads by which every synthesized event reaches the desktop.
//
// `post` is the guarded road for everything that moves the pointer, presses, scrolls, drags or
// types: it refuses without a target pid, once the deadline has passed or cancellation was asked
// for, when the target is no longer frontmost, and when the event could not be built (in that
// order); then it posts and pauses `delay`.
//
// `postDirect` carries only the release that ends a press already posted through `post`: no
// check, no pause, and an event that could not be built is skipped, so a release is never refused.
//
// Neither takes the event: the action case that built it keeps it and releases it when done.

#include "batch/Batch.h"

namespace quorvel {

// After every guarded pointer, scroll and key event, and after the releases of clicks and keys.
constexpr Nanos inputPause = defaultSettle;
// After the key-down of each typed character.
constexpr Nanos typingPause = std::chrono::milliseconds(5);

inline constexpr const char* keysFellShort =
    "Some keys could not be typed exactly; input may have been sent. Observe again before "
    "retrying.";

// After posting, and before the pause, `post` fails with `keysFellShort` once the platform says
// an event did less than it was made for.
void post(Batch& batch, const EventHandle& event, Nanos delay);
// `post` for a button press or a wheel click at `position`: after the focus, and before the
// event is looked at, the target must still own the topmost window there.
void postPress(Batch& batch, const EventHandle& event, ScreenPoint position, Nanos delay);
void postDirect(Batch& batch, const EventHandle& event);

}  // namespace quorvel
