// A window of the test's own whose title is COMPOUND_TEXT in a double-byte set, as an old
// application stores it: the window list must carry the decoded text, not Latin-1 mojibake.

#include <unistd.h>
#include <xcb/xcb.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DesktopEnvironment.h"
#include "platform/linux/x11/X11Platform.h"

namespace quorvel::e2e {
namespace {

using namespace std::chrono_literals;

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

// The window and the connection go away however the test ends.
struct OwnWindow {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    xcb_window_t window = 0;
    ~OwnWindow() {
        if (window != 0) {
            xcb_destroy_window(connection, window);
            xcb_flush(connection);
        }
        xcb_disconnect(connection);
    }
};

TEST(CompoundTitle, ADoubleByteTitleIsListedAsItsText) {
    ASSERT_TRUE(shared().desktop && shared().desktop->started());
    OwnWindow own;
    ASSERT_EQ(xcb_connection_has_error(own.connection), 0);
    xcb_connection_t* connection = own.connection;
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    xcb_atom_t compoundText = internAtom(connection, "COMPOUND_TEXT");
    xcb_atom_t netWmPid = internAtom(connection, "_NET_WM_PID");
    ASSERT_NE(compoundText, static_cast<xcb_atom_t>(XCB_ATOM_NONE));
    ASSERT_NE(netWmPid, static_cast<xcb_atom_t>(XCB_ATOM_NONE));

    own.window = xcb_generate_id(connection);
    std::uint32_t background = screen->white_pixel;
    xcb_create_window(connection, XCB_COPY_FROM_PARENT, own.window, screen->root, 40, 40, 160, 80,
                      0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL,
                      &background);
    // "中文" in GB 2312, designated to GR; no _NET_WM_NAME, so WM_NAME is all there is.
    const std::string title = "\x1B$)A\xD6\xD0\xCE\xC4";
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, own.window, XCB_ATOM_WM_NAME,
                        compoundText, 8, title.size(), title.data());
    std::uint32_t pid = static_cast<std::uint32_t>(getpid());
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, own.window, netWmPid, XCB_ATOM_CARDINAL,
                        32, 1, &pid);
    xcb_map_window(connection, own.window);
    xcb_flush(connection);

    // openbox reparents and maps it in its own time; the list names the client window.
    X11Platform platform;
    Json found;
    for (int poll = 0; poll < 200 && found.is_null(); ++poll) {
        for (const Json& entry : platform.windowServerList()) {
            if (entry.value("kCGWindowNumber", 0u) == own.window) {
                found = entry;
            }
        }
        if (found.is_null()) {
            platform.sleep(50ms);
        }
    }
    ASSERT_FALSE(found.is_null()) << "the window was never listed";
    EXPECT_EQ(found.value("kCGWindowName", ""), "\xE4\xB8\xAD\xE6\x96\x87");
    EXPECT_EQ(found.value("kCGWindowOwnerPID", 0), getpid());
}

}  // namespace
}  // namespace quorvel::e2e
