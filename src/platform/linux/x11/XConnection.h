#pragma once

// One connection to the X server, made through XCB so that a lost or refused connection is a
// value to test, never a message on standard error or an exit. Requests are sent at once and
// their replies collected later, so a whole round of questions costs one round trip.
//
// Another client can grab the server and hold it for as long as it likes; the server then
// answers nobody else. So no wait here is open-ended: connecting and every reply wait only
// until the owner's `giveUp` says the request is over, and then give nothing.

#include <xcb/xcb.h>

#include <chrono>
#include <cstdint>
#include <functional>
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

// Whether the request that waits is over (its deadline passed, or it was cancelled).
using GiveUp = std::function<bool()>;

class XConnection {
  public:
    // Connects, on first use, to the display that DISPLAY names; `usable()` tells whether that
    // worked.
    XConnection();
    ~XConnection();
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    // Every wait from now on ends once `giveUp` answers true.
    void setGiveUp(GiveUp giveUp) { giveUp_ = std::move(giveUp); }

    // False without a display, when connecting was given up, and for good once the connection
    // broke. The first call connects.
    bool usable() const;
    // Waits until the monotonic clock reads `until`, or until the server has closed a connection
    // that was made: true then, and the connection is no longer usable. Connects to nothing;
    // takes nothing from the server while it lives.
    bool closedBefore(std::chrono::nanoseconds until) const;
    xcb_connection_t* xcb() const {
        connect();
        return connection_;
    }
    xcb_window_t root() const {
        connect();
        return root_;
    }
    const Atoms& atoms() const {
        connect();
        return atoms_;
    }
    ScreenSize screenSize() const {
        connect();
        return screenSize_;
    }

    // The reply to a request, or null on an error, a broken connection or a wait given up.
    template <class Reply, class Cookie>
    ReplyPtr<Reply> reply(Cookie cookie) const {
        return ReplyPtr<Reply>(static_cast<Reply*>(awaitReply(cookie.sequence)));
    }

    // Asks for a property without waiting; `property` collects the answer.
    xcb_get_property_cookie_t requestProperty(xcb_window_t window, xcb_atom_t name,
                                              std::uint32_t longLength = 1024) const;
    std::optional<Property> property(xcb_get_property_cookie_t cookie) const;

    // Waits until the server has handled every request sent so far; false when it did not
    // answer before the wait was given up. After a true answer every earlier reply is in.
    bool sync() const;
    void flush() const;
    // This process stops using the connection without closing it, so that another process
    // holding the same socket goes on with it.
    void handOver();
    // Whether the server has the extension, asked once and remembered.
    bool hasExtension(const char* name) const;

    // While the server is grabbed it handles this connection's requests only: what it answered
    // stays true until the next request of ours, a synthesized event included. Ungrabbing is
    // sent at once; both are no-ops when there is nothing to do.
    void grabServer();
    void ungrabServer();
    bool grabbed() const { return grabbed_; }

  private:
    void connect() const;
    void* awaitReply(unsigned int sequence) const;
    bool givingUp() const { return giveUp_ && giveUp_(); }

    GiveUp giveUp_;
    // Made on first use, so that connecting waits under the request's rules.
    mutable bool attempted_ = false;
    mutable xcb_connection_t* connection_ = nullptr;
    mutable xcb_window_t root_ = 0;
    mutable ScreenSize screenSize_;
    mutable Atoms atoms_;
    mutable std::vector<std::pair<std::string, bool>> extensions_;
    bool grabbed_ = false;
};

// When the server is held by another client, what was sent waits unhandled, and the server drops
// it if the connection closes first. A copy of this process, with none of the host's streams,
// keeps the connection open until the server has handled it (or 240 s have passed); this
// process then lets go of the connection without closing it.
void keepOpenUntilHandled(XConnection& connection);

}  // namespace quorvel::x11
