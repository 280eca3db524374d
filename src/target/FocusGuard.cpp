#include "target/FocusGuard.h"

#include "main/Failure.h"

namespace quorvel {

void checkFocus(Runtime& runtime, Pid pid) {
    checkCancellation(runtime);
    std::optional<Pid> frontmost = runtime.platform.frontmostPid();
    if (!frontmost) {
        // The desktop may have given no answer because the request ended while it was asked:
        // then the end is what happened.
        checkCancellation(runtime);
    }
    if (!frontmost || *frontmost != pid) {
        fail("Target lost focus; input stopped. Observe again before retrying.");
    }
}

}  // namespace quorvel
