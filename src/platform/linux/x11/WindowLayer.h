#pragma once

// What kind of window a top-level window is, and the layer the window list gives it.

#include <optional>
#include <span>
#include <string_view>

namespace quorvel::x11 {

// The window types of the desktop conventions, in the order of windowTypeAtomNames().
enum class WindowType {
    Desktop,
    Dock,
    Toolbar,
    Menu,
    Utility,
    Splash,
    Dialog,
    DropdownMenu,
    PopupMenu,
    Tooltip,
    Notification,
    Combo,
    Dnd,
    Normal,
};

std::span<const std::string_view> windowTypeAtomNames();

struct WindowKind {
    std::optional<WindowType> type;  // the first type the window names that we know
    bool overrideRedirect = false;   // a popup that the window manager does not manage
    bool above = false;              // _NET_WM_STATE_ABOVE
    bool below = false;              // _NET_WM_STATE_BELOW
};

// The layer of a window, or none for the desktop window, which the list leaves out:
//   BELOW state                                   -1
//   normal, dialog, utility, toolbar, splash       0   (an untyped managed window is normal)
//   ABOVE state                                    3
//   dock                                          20
//   menus, dropdowns, combo popups, and
//   override-redirect windows of no other type   101
//   notification                                 102
//   tooltip                                      200
//   drag and drop icon                           500
// Ordinary application windows are the only ones on layer 0, as the observation expects.
std::optional<int> windowLayer(const WindowKind& kind);

// Normal and dialog windows are the ones that activation brings to the front.
bool isActivatable(std::optional<WindowType> type);

}  // namespace quorvel::x11
