#include "platform/linux/x11/AccessibleWindows.h"

namespace quorvel::x11 {

namespace {

atspi::Extents listedBounds(const Json& window) {
    const Json& bounds = window.value("kCGWindowBounds", Json::object());
    return {bounds.value("X", 0), bounds.value("Y", 0), bounds.value("Width", 0),
            bounds.value("Height", 0)};
}

// The on-screen windows of `pid`, front to back, each with the frame the window list gives
// and the application's own window in root coordinates, asked for in one round.
std::vector<atspi::ServerWindow> windowsOf(const XConnection& connection, std::int32_t pid,
                                           const std::optional<Json>& listed) {
    std::vector<atspi::ServerWindow> windows;
    const Json list = listed ? *listed : listWindows(connection);
    if (!list.is_array()) {
        return windows;
    }
    struct Asked {
        xcb_translate_coordinates_cookie_t origin;
        xcb_get_geometry_cookie_t geometry;
    };
    std::vector<Asked> asked;
    for (const Json& window : list) {
        if (window.value("kCGWindowOwnerPID", 0) != pid ||
            !window.value("kCGWindowNumber", Json()).is_number_unsigned()) {
            continue;
        }
        atspi::ServerWindow entry;
        entry.id = window["kCGWindowNumber"].get<std::uint32_t>();
        entry.title = window.value("kCGWindowName", std::string());
        entry.outer = listedBounds(window);
        entry.client = entry.outer;
        asked.push_back(
            {xcb_translate_coordinates(connection.xcb(), entry.id, connection.root(), 0, 0),
             xcb_get_geometry(connection.xcb(), entry.id)});
        windows.push_back(std::move(entry));
    }
    for (std::size_t index = 0; index < windows.size(); ++index) {
        auto origin = connection.reply<xcb_translate_coordinates_reply_t>(asked[index].origin);
        auto geometry = connection.reply<xcb_get_geometry_reply_t>(asked[index].geometry);
        if (origin && geometry) {
            windows[index].client = {origin->dst_x, origin->dst_y, geometry->width,
                                     geometry->height};
        }
    }
    return windows;
}

}  // namespace

atspi::WindowLinks accessibleWindowLinks(const XConnection& connection, WindowOwners& owners,
                                         const std::optional<Json>& listed) {
    atspi::WindowLinks links;
    links.frontmostPid = [&connection, &owners] { return keyboardOwnerPid(connection, owners); };
    links.windows = [&connection, &listed](std::int32_t pid) {
        return windowsOf(connection, pid, listed);
    };
    links.raiseWindow = [&connection](std::int32_t pid, std::optional<std::uint32_t> window) {
        activateWindowOf(connection, pid, window);
    };
    return links;
}

}  // namespace quorvel::x11
