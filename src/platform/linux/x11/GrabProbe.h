#pragma once

// Whether another client holds the keyboard or the pointer in an active grab. While one does,
// every synthesized event of that device goes to it, whatever the input focus and the window
// manager say. The X server tells no client who holds a grab, but it answers a grab request
// for a window that is not mapped by checking another client's grab first ("already grabbed")
// and only then the window ("not viewable"): asking for such a window grabs nothing and sends
// no focus or crossing event to anyone. Both questions go out with the focus query and cost no
// round trip of their own.

#include <xcb/xcb.h>

#include "platform/linux/x11/XConnection.h"

namespace quorvel::x11 {

struct ActiveGrabs {
    bool keyboard = false;
    bool pointer = false;
};

class GrabProbe {
  public:
    struct Questions {
        bool asked = false;
        xcb_grab_keyboard_cookie_t keyboard{};
        xcb_grab_pointer_cookie_t pointer{};
    };

    Questions ask(const XConnection& connection);
    // A question left without an answer counts as a grab: nothing is known to be free.
    ActiveGrabs answer(const XConnection& connection, const Questions& questions);

  private:
    xcb_window_t window_ = XCB_NONE;  // never mapped; made on first use
};

// The grab status an answer gives, as a grab: "already grabbed" and "frozen" mean another
// client holds the device; "not viewable" means no one does. Null (no answer) is a grab too.
bool heldByAnother(const std::uint8_t* status);

}  // namespace quorvel::x11
