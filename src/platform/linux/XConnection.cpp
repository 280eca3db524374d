#include "platform/linux/XConnection.h"

#include <cstdlib>
#include <cstring>

#include "platform/linux/WindowLayer.h"

namespace quorvel::x11 {

void FreeDeleter::operator()(void* pointer) const {
    std::free(pointer);
}

std::vector<std::uint32_t> Property::cardinals() const {
    std::vector<std::uint32_t> values;
    if (format != 32) {
        return values;
    }
    values.resize(bytes.size() / 4);
    if (!values.empty()) {
        std::memcpy(values.data(), bytes.data(), values.size() * 4);
    }
    return values;
}

std::optional<std::uint32_t> Property::firstCardinal() const {
    std::vector<std::uint32_t> values = cardinals();
    if (values.empty()) {
        return std::nullopt;
    }
    return values.front();
}

namespace {

// Interns every name in one round trip; a name the server refuses stays 0 (no atom).
std::vector<xcb_atom_t> internAtoms(xcb_connection_t* connection,
                                    const std::vector<std::string_view>& names) {
    std::vector<xcb_intern_atom_cookie_t> cookies;
    cookies.reserve(names.size());
    for (std::string_view name : names) {
        cookies.push_back(
            xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data()));
    }
    std::vector<xcb_atom_t> atoms;
    atoms.reserve(names.size());
    for (xcb_intern_atom_cookie_t cookie : cookies) {
        ReplyPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookie, nullptr));
        atoms.push_back(reply ? reply->atom : 0);
    }
    return atoms;
}

Atoms internDesktopAtoms(xcb_connection_t* connection) {
    std::vector<std::string_view> names = {"_NET_ACTIVE_WINDOW",
                                           "_NET_CLIENT_LIST_STACKING",
                                           "_NET_CURRENT_DESKTOP",
                                           "_NET_SUPPORTING_WM_CHECK",
                                           "_NET_WM_DESKTOP",
                                           "_NET_WM_NAME",
                                           "_NET_WM_PID",
                                           "_NET_WM_STATE",
                                           "_NET_WM_STATE_ABOVE",
                                           "_NET_WM_STATE_BELOW",
                                           "_NET_WM_STATE_HIDDEN",
                                           "_NET_WM_WINDOW_TYPE",
                                           "UTF8_STRING",
                                           "COMPOUND_TEXT",
                                           "WM_STATE"};
    std::size_t fixed = names.size();
    for (std::string_view typeName : windowTypeAtomNames()) {
        names.push_back(typeName);
    }
    std::vector<xcb_atom_t> atoms = internAtoms(connection, names);
    Atoms result;
    xcb_atom_t* slots[] = {&result.netActiveWindow,
                           &result.netClientListStacking,
                           &result.netCurrentDesktop,
                           &result.netSupportingWmCheck,
                           &result.netWmDesktop,
                           &result.netWmName,
                           &result.netWmPid,
                           &result.netWmState,
                           &result.netWmStateAbove,
                           &result.netWmStateBelow,
                           &result.netWmStateHidden,
                           &result.netWmWindowType,
                           &result.utf8String,
                           &result.compoundText,
                           &result.wmState};
    static_assert(sizeof(slots) / sizeof(slots[0]) == 15);
    for (std::size_t index = 0; index < fixed; ++index) {
        *slots[index] = atoms[index];
    }
    result.windowTypes.assign(atoms.begin() + static_cast<std::ptrdiff_t>(fixed), atoms.end());
    return result;
}

}  // namespace

XConnection::XConnection() {
    // Without DISPLAY there is no desktop to reach; XCB would fail the same way, only later.
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        return;
    }
    int screenNumber = 0;
    connection_ = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection_)) {
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int index = 0; screens.rem > 0 && index < screenNumber; ++index) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        return;
    }
    root_ = screens.data->root;
    screenSize_ = {screens.data->width_in_pixels, screens.data->height_in_pixels};
    atoms_ = internDesktopAtoms(connection_);
}

XConnection::~XConnection() {
    ungrabServer();
    if (connection_) {
        xcb_disconnect(connection_);
    }
}

bool XConnection::usable() const {
    return connection_ && root_ != 0 && xcb_connection_has_error(connection_) == 0;
}

xcb_get_property_cookie_t XConnection::requestProperty(xcb_window_t window, xcb_atom_t name,
                                                       std::uint32_t longLength) const {
    return xcb_get_property(connection_, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, longLength);
}

std::optional<Property> XConnection::property(xcb_get_property_cookie_t cookie) const {
    ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection_, cookie, nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    Property result;
    result.type = reply->type;
    result.format = reply->format;
    int length = xcb_get_property_value_length(reply.get());
    if (length > 0) {
        result.bytes.assign(static_cast<const char*>(xcb_get_property_value(reply.get())),
                            static_cast<std::size_t>(length));
    }
    return result;
}

void XConnection::sync() const {
    if (!usable()) {
        return;
    }
    // A request with a reply: its answer comes after every earlier request has been handled.
    ReplyPtr<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

void XConnection::grabServer() {
    if (usable() && !grabbed_) {
        xcb_grab_server(connection_);
        grabbed_ = true;
    }
}

void XConnection::ungrabServer() {
    if (grabbed_) {
        grabbed_ = false;
        if (usable()) {
            xcb_ungrab_server(connection_);
            xcb_flush(connection_);
        }
    }
}

void XConnection::flush() const {
    if (usable()) {
        xcb_flush(connection_);
    }
}

}  // namespace quorvel::x11
