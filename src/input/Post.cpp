#include "input/Post.h"

#include "main/Failure.h"
#include "target/FocusGuard.h"

namespace quorvel {

void post(Batch& batch, const EventHandle& event, Nanos delay) {
    if (!batch.targetPid) {
        fail("pid required");  // admission refuses input without a pid; this is the last guard
    }
    // A lost focus, deadline or cancellation is reported in preference to a missing event.
    checkFocus(batch.runtime, *batch.targetPid);
    if (!event) {
        fail("Could not construct input event");
    }
    batch.platform().post(*event);
    settle(batch.runtime, delay);
}

void postDirect(Batch& batch, const EventHandle& event) {
    if (event) {
        batch.platform().post(*event);
    }
}

}  // namespace quorvel
