#include "platform/linux/AccessibleWindows.h"

namespace quorvel::x11 {

namespace {

// The on-screen window of `pid` whose frame is `frame`, as the window list reports it.
Json windowAt(const XConnection& connection, std::int32_t pid, const atspi::Extents& frame) {
    for (const Json& window : listWindows(connection)) {
        const Json& bounds = window.value("kCGWindowBounds", Json::object());
        if (window.value("kCGWindowOwnerPID", 0) == pid && bounds.value("X", 0.5) == frame.x &&
            bounds.value("Y", 0.5) == frame.y && bounds.value("Width", 0.5) == frame.width &&
            bounds.value("Height", 0.5) == frame.height) {
            return window;
        }
    }
    return nullptr;
}

}  // namespace

atspi::WindowLinks accessibleWindowLinks(const XConnection& connection, WindowOwners& owners) {
    atspi::WindowLinks links;
    links.frontmostPid = [&connection, &owners] { return keyboardOwnerPid(connection, owners); };
    links.windowTitle = [&connection](std::int32_t pid,
                                      const atspi::Extents& frame) -> std::optional<std::string> {
        Json window = windowAt(connection, pid, frame);
        if (!window.is_object() || !window.contains("kCGWindowName") ||
            !window["kCGWindowName"].is_string()) {
            return std::nullopt;
        }
        return window["kCGWindowName"].get<std::string>();
    };
    links.raiseWindow = [&connection](std::int32_t pid, const atspi::Extents& frame) {
        Json window = windowAt(connection, pid, frame);
        std::optional<std::uint32_t> preferred;
        if (window.is_object() && window.contains("kCGWindowNumber") &&
            window["kCGWindowNumber"].is_number_unsigned()) {
            preferred = window["kCGWindowNumber"].get<std::uint32_t>();
        }
        activateWindowOf(connection, pid, preferred);
    };
    return links;
}

}  // namespace quorvel::x11
