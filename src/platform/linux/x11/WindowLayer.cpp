#include "platform/linux/x11/WindowLayer.h"

#include <array>

namespace quorvel::x11 {

namespace {

constexpr std::array<std::string_view, 14> typeNames = {
    "_NET_WM_WINDOW_TYPE_DESKTOP",      "_NET_WM_WINDOW_TYPE_DOCK",
    "_NET_WM_WINDOW_TYPE_TOOLBAR",      "_NET_WM_WINDOW_TYPE_MENU",
    "_NET_WM_WINDOW_TYPE_UTILITY",      "_NET_WM_WINDOW_TYPE_SPLASH",
    "_NET_WM_WINDOW_TYPE_DIALOG",       "_NET_WM_WINDOW_TYPE_DROPDOWN_MENU",
    "_NET_WM_WINDOW_TYPE_POPUP_MENU",   "_NET_WM_WINDOW_TYPE_TOOLTIP",
    "_NET_WM_WINDOW_TYPE_NOTIFICATION", "_NET_WM_WINDOW_TYPE_COMBO",
    "_NET_WM_WINDOW_TYPE_DND",          "_NET_WM_WINDOW_TYPE_NORMAL",
};

constexpr int menuLayer = 101;

}  // namespace

std::span<const std::string_view> windowTypeAtomNames() {
    return typeNames;
}

std::optional<int> windowLayer(const WindowKind& kind) {
    if (kind.type) {
        switch (*kind.type) {
            case WindowType::Desktop:
                return std::nullopt;
            case WindowType::Dock:
                return 20;
            case WindowType::Menu:
            case WindowType::DropdownMenu:
            case WindowType::PopupMenu:
            case WindowType::Combo:
                return menuLayer;
            case WindowType::Notification:
                return 102;
            case WindowType::Tooltip:
                return 200;
            case WindowType::Dnd:
                return 500;
            case WindowType::Toolbar:
            case WindowType::Utility:
            case WindowType::Splash:
            case WindowType::Dialog:
            case WindowType::Normal:
                break;
        }
    }
    if (kind.overrideRedirect) {
        return menuLayer;  // an unmanaged popup floats over every managed window
    }
    if (kind.above) {
        return 3;
    }
    if (kind.below) {
        return -1;
    }
    return 0;
}

bool isActivatable(std::optional<WindowType> type) {
    return !type || *type == WindowType::Normal || *type == WindowType::Dialog;
}

}  // namespace quorvel::x11
