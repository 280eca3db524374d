#pragma once

// One driver's input at a time on an X display, whichever host started it: the claim is the
// ownership of a selection that only drivers use, taken under a server grab only when no one
// owns it. The server ends it when the owning window goes, which happens with the connection
// too, so a driver that dies never leaves the desktop claimed.

#include <xcb/xcb.h>

#include "platform/linux/x11/XConnection.h"

namespace quorvel::x11 {

class InputClaim {
  public:
    explicit InputClaim(XConnection& connection) : connection_(connection) {}

    // True once this process holds the claim; false while another holds it, or without an
    // answer from the server.
    bool claim();
    void release();

  private:
    XConnection& connection_;
    xcb_atom_t selection_ = XCB_NONE;
    xcb_window_t owner_ = XCB_NONE;  // exists while the claim is held
};

}  // namespace quorvel::x11
