#pragma once

// Bounded waits on a Wayland connection: libwayland's own waits have no end but an answer.

#include <functional>

#include "platform/Platform.h"

struct wl_display;

namespace quorvel::kwin {

// A poll's timeout in milliseconds: until `until`, or one slice when that is sooner, so that
// whatever ends a wait is asked often enough.
int pollMilliseconds(Nanos until);

// Dispatches the connection's events until `done` answers true (true), or `until` passes, the
// connection fails or `stop` answers true (false).
bool dispatchUntil(wl_display* display, const std::function<bool()>& done, Nanos until,
                   const std::function<bool()>& stop);
// A round trip: every event the compositor sent before answering it is dispatched.
bool roundTrip(wl_display* display, Nanos until, const std::function<bool()>& stop);

}  // namespace quorvel::kwin
