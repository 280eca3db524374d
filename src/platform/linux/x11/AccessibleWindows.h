#pragma once

// What the accessibility tree cannot tell about an application's windows and the X server can:
// where each of them is in root pixels, its title, whether its application has the keyboard,
// and raising it.

#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/x11/WindowServer.h"
#include "platform/linux/x11/XConnection.h"

namespace quorvel::x11 {

// The links stay valid as long as the connection, the owners and `listed`: the window list read
// last in the current round, used instead of a new one when present. Asking whose window has
// the keyboard does not grab the server here: the application asked next needs it.
atspi::WindowLinks accessibleWindowLinks(const XConnection& connection, WindowOwners& owners,
                                         const std::optional<Json>& listed);

}  // namespace quorvel::x11
