#pragma once

// One connection to the X server, made through XCB so that a lost or refused connection is a
// value to test, never a message on standard error or an exit. Requests are sent at once and
// their replies collected later, so a whole round of questions costs one round trip.

#include <xcb/xcb.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::x11 {

// Frees what XCB allocated for a reply.
struct FreeDeleter {
    void operator()(void* pointer) const;
};
template <class Reply>
using ReplyPtr = std::unique_ptr<Reply, FreeDeleter>;

// The atoms the desktop's conventions use, interned in one round trip.
struct Atoms {
    xcb_atom_t netActiveWindow = 0;
    xcb_atom_t netClientListStacking = 0;
    xcb_atom_t netCurrentDesktop = 0;
    xcb_atom_t netSupportingWmCheck = 0;
    xcb_atom_t netWmDesktop = 0;
    xcb_atom_t netWmName = 0;
    xcb_atom_t netWmPid = 0;
    xcb_atom_t netWmState = 0;
    xcb_atom_t netWmStateAbove = 0;
    xcb_atom_t netWmStateBelow = 0;
    xcb_atom_t netWmStateHidden = 0;
    xcb_atom_t netWmWindowType = 0;
    xcb_atom_t utf8String = 0;
    xcb_atom_t compoundText = 0;
    xcb_atom_t wmState = 0;
    // Window types, in the order of WindowType (WindowLayer.h).
    std::vector<xcb_atom_t> windowTypes;
};

// A property as read: its type, its format (8, 16 or 32) and its raw bytes.
struct Property {
    xcb_atom_t type = 0;
    std::uint8_t format = 0;
    std::string bytes;

    std::vector<std::uint32_t> cardinals() const;
    std::optional<std::uint32_t> firstCardinal() const;
};

struct ScreenSize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};

class XConnection {
  public:
    // Connects to the display that DISPLAY names; `usable()` tells whether that worked.
    XConnection();
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    // False without a display, and for good once the connection broke.
    bool usable() const;
    xcb_connection_t* xcb() const { return connection_; }
    xcb_window_t root() const { return root_; }
    const Atoms& atoms() const { return atoms_; }
    ScreenSize screenSize() const { return screenSize_; }

    // Asks for a property without waiting; `property` collects the answer.
    xcb_get_property_cookie_t requestProperty(xcb_window_t window, xcb_atom_t name,
                                              std::uint32_t longLength = 1024) const;
    std::optional<Property> property(xcb_get_property_cookie_t cookie) const;

    // Waits until the server has handled every request sent so far.
    void sync() const;
    void flush() const;

    // While the server is grabbed it handles this connection's requests only: what it answered
    // stays true until the next request of ours, a synthesized event included. Ungrabbing is
    // sent at once; both are no-ops when there is nothing to do.
    void grabServer();
    void ungrabServer();
    bool grabbed() const { return grabbed_; }

  private:
    xcb_connection_t* connection_ = nullptr;
    bool grabbed_ = false;
    xcb_window_t root_ = 0;
    ScreenSize screenSize_;
    Atoms atoms_;
};

}  // namespace quorvel::x11
