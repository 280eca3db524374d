#pragma once

// Which Linux desktop the driver drives, from the connections the session gives it: a Wayland
// display whose compositor is KWin 6 (its scripting and its EIS on the session bus) is driven
// through KWin, an X server alone through X11, any other Wayland display only observed, and
// with neither the driver answers as a machine without a desktop.

#include <memory>
#include <optional>

#include "platform/Platform.h"

namespace quorvel {

enum class LinuxDesktop { KWinWayland, OtherWayland, X11, None };

struct SessionConnections {
    bool waylandDisplay = false;  // WAYLAND_DISPLAY names a display
    bool kwin = false;            // KWin 6's scripting and EIS answer on the session bus
    bool kwinInputBuilt = false;  // this build has libei
    bool xDisplay = false;        // DISPLAY names a display
};

LinuxDesktop chooseDesktop(const SessionConnections& session);

// When the process was started as one of the driver's own helpers (the process that keeps the
// user's clipboard served after a paste), runs it and gives its exit status; absent otherwise.
std::optional<int> runAsHelper(int argc, char** argv);

// The platform for the desktop this process finds; asks the session bus only under Wayland.
std::unique_ptr<Platform> makeLinuxPlatform();

}  // namespace quorvel
