#pragma once

// What the window-watching KWin script reports, as the driver reads it: every window in KWin's
// stacking order with its pid, caption, frames, layer and kind, the active window and the
// outputs' areas. A report that is not exactly of the expected shape gives no report at all:
// a guard answered from half a window list could let input through to the wrong window.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Json.h"
#include "platform/Platform.h"

namespace quorvel::kwin {

// KWin's own layers, in its order.
enum class KWinLayer {
    Desktop = 0,
    Below = 1,
    Normal = 2,
    Above = 3,
    Notification = 4,
    Active = 5,
    Popup = 6,
    CriticalNotification = 7,
    OnScreenDisplay = 8,
    Overlay = 9,
};

struct ReportedWindow {
    std::string internalId;  // KWin's UUID of the window, stable for its life
    Pid pid = 0;
    std::string caption;
    std::string resourceClass;
    ScreenRect frame;   // decorations included
    ScreenRect client;  // the application's own surface
    int layer = static_cast<int>(KWinLayer::Normal);
    bool desktop = false;
    bool dock = false;
    bool menu = false;  // a menu, drop-down, pop-up menu or combo box list
    bool tooltip = false;
    bool notification = false;  // critical notifications included
    bool onScreenDisplay = false;
    bool dndIcon = false;
    bool popup = false;  // any pop-up surface (xdg_popup, override-redirect)
    bool keepAbove = false;
    bool keepBelow = false;
    bool normal = false;
    bool dialog = false;
    // Shown: not minimised, not hidden, not closing, on the current desktop.
    bool shown = true;
};

struct WindowReport {
    std::vector<ReportedWindow> stacking;  // bottom to top, as KWin stacks them
    std::optional<std::string> activeId;
    std::vector<ScreenRect> outputs;
};

std::optional<WindowReport> parseWindowReport(std::string_view text);

// A window id for the window list that stays the same across observations of one window: a
// positive 31-bit hash of KWin's id for it, never 0.
std::uint32_t stableWindowId(std::string_view internalId);

// The layer the window list gives a window, as on X11: none for the desktop, which the list
// leaves out; -1 below; 0 for ordinary application windows; 3 above; 20 docks; 101 menus and
// other pop-ups; 102 notifications; 200 tooltips and on-screen displays; 500 drag icons.
std::optional<int> listLayer(const ReportedWindow& window);

// The window server's list: the shown windows front to back, the desktop left out, keyed as the
// driver's window list expects.
Json windowList(const WindowReport& report);

// The active window, when it is shown.
const ReportedWindow* activeWindow(const WindowReport& report);

// The window of `pid` that activation brings forward: the one with `preferred` as its stable id
// when that is one of the pid's normal or dialog windows, else the topmost such window.
const ReportedWindow* windowToActivate(const WindowReport& report, Pid pid,
                                       std::optional<std::uint32_t> preferred);

}  // namespace quorvel::kwin
