#pragma once

// Whether the desktop's accessibility services can be reached, found without side effects: the
// session bus must already exist (it is never launched from here), it must give the
// accessibility bus's address, and the accessibility registry must run there or be started
// on demand.
// Nothing here loads the accessibility client library, which aborts the process when the
// accessibility bus cannot be reached.

namespace quorvel {

bool accessibilityBusReady();

}  // namespace quorvel
