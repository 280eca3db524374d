#pragma once

// The walk of a drag with the button held, kept apart from the events so that its one promise
// can be seen on its own: once the button is down, the release runs on every path.

#include <functional>
#include <vector>

#include "platform/Platform.h"

namespace quorvel {

// Runs `move` on each point of `path` in order, stopping at the first that fails; then runs
// `release` on the last point reached (`start` when none was), and only then passes the failure
// of `move` on, unchanged.
void dispatchDragPath(const std::vector<ScreenPoint>& path, ScreenPoint start,
                      const std::function<void(ScreenPoint)>& move,
                      const std::function<void(ScreenPoint)>& release);

}  // namespace quorvel
