#pragma once

// The on-screen windows, front to back, read fresh from the window server on every call.
// A window record has exactly `window_id`, `pid`, `layer`, `app`, `title` and `bounds`, each
// copied unchanged from the window server's entry or defaulted when the entry lacks it.

#include "platform/Platform.h"

namespace quorvel {

enum class AllLayers { No, Yes };

// A JSON array of window records; empty whenever the window server's answer is unusable.
Json windows(Platform& platform, AllLayers allLayers = AllLayers::No);

// Whether a record's `pid` value is an integer equal to `pid`; a huge unsigned value never wraps
// around to a negative pid.
bool isPid(const Json& value, Pid pid);

}  // namespace quorvel
