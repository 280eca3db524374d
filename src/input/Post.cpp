#include "input/Post.h"

#include "main/Failure.h"
#include "target/FocusGuard.h"
#include "target/Point.h"

namespace quorvel {

namespace {

void guardedPost(Batch& batch, const EventHandle& event, std::optional<ScreenPoint> pressedAt,
                 Nanos delay) {
    if (!batch.targetPid) {
        fail("pid required");  // admission refuses input without a pid; this is the last guard
    }
    // A lost focus, deadline or cancellation is reported in preference to a missing event.
    checkFocus(batch.runtime, *batch.targetPid);
    // Asked right after the focus and before the post, so that the desktop's answer on both
    // still holds when the press arrives.
    if (pressedAt) {
        confirmTopmostPoint(batch, *pressedAt);
    }
    if (!event) {
        fail("Could not construct input event");
    }
    batch.platform().post(*event);
    // A character that could not be typed, or was typed with a keyboard someone else changed,
    // must not pass for typed.
    if (batch.platform().inputFellShort()) {
        // A wait inside the post that a cancellation or the deadline cut short says so.
        checkCancellation(batch.runtime);
        fail(keysFellShort);
    }
    settle(batch.runtime, delay);
}

}  // namespace

void post(Batch& batch, const EventHandle& event, Nanos delay) {
    guardedPost(batch, event, std::nullopt, delay);
}

void postPress(Batch& batch, const EventHandle& event, ScreenPoint position, Nanos delay) {
    guardedPost(batch, event, position, delay);
}

void postDirect(Batch& batch, const EventHandle& event) {
    if (event) {
        batch.platform().post(*event);
    }
}

}  // namespace quorvel
