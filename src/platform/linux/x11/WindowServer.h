#pragma once

// The window server's view of the desktop: the on-screen top-level windows front to back, the
// active window's owner and the activation request, read from the X server and the window
// manager's conventions. Every question is sent in rounds: all requests of a round go out
// before the first reply is awaited.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include "platform/Json.h"
#include "platform/Platform.h"
#include "platform/linux/x11/GrabProbe.h"
#include "platform/linux/x11/XConnection.h"

namespace quorvel::x11 {

// The entries "kCGWindowNumber" (the application's own window), "kCGWindowOwnerPID",
// "kCGWindowLayer", "kCGWindowOwnerName" (WM_CLASS class), "kCGWindowName" and
// "kCGWindowBounds" (the frame in root coordinates) of every viewable top-level window, front
// to back, the desktop window left out. Null when there is no display.
Json listWindows(const XConnection& connection);

// The monitors' areas in root coordinates (RandR), else the whole root window. Empty when there
// is no display or no answer.
std::vector<ScreenRect> monitorAreas(const XConnection& connection);

// The owner of a window never changes while it exists, and the focus guard asks before every
// typed character: owners once found are remembered for the life of the process.
class WindowOwners {
  public:
    std::optional<std::int32_t> ownerOf(const XConnection& connection, xcb_window_t window);

  private:
    std::map<xcb_window_t, std::int32_t> owners_;
};

struct KeyboardQuestion {
    // Also asks whether another client's active grab takes the keyboard or the pointer away.
    GrabProbe* grabs = nullptr;
    // A press of ours holds the pointer: the grab it made is the pressed window's owner's.
    bool pointerPressedByUs = false;
    // Runs once the questions are queued and before the answers are awaited: what it queues
    // reaches the server after them, and the server's work on it does not delay the answers.
    std::function<void()> afterAsking;
};

// The pid of the application whose window has the keyboard focus, while the window manager's
// active window (when it names one) belongs to the same application, and, when asked, while no
// active grab holds the keyboard or the pointer but one of that application's own popups.
std::optional<std::int32_t> keyboardOwnerPid(const XConnection& connection, WindowOwners& owners,
                                             const KeyboardQuestion& question = {});

// Asks the window manager to bring the topmost normal or dialog window of `pid` to the front,
// or `preferred` when that is one of them, switching to its desktop first when it is on another
// one. Does nothing when `pid` has no such window; whether it worked shows only later.
void activateWindowOf(const XConnection& connection, std::int32_t pid,
                      std::optional<std::uint32_t> preferred = std::nullopt);

}  // namespace quorvel::x11
