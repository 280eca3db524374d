#include "platform/linux/x11/WindowServer.h"

#include <xcb/randr.h>
#include <xcb/res.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/linux/x11/TextDecoding.h"
#include "platform/linux/x11/WindowLayer.h"

namespace quorvel::x11 {

namespace {

constexpr int deepestFrameNesting = 8;

struct TopLevel {
    xcb_window_t frame = 0;
    xcb_window_t client = 0;
    bool overrideRedirect = false;
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

bool hasResourceExtension(const XConnection& connection) {
    return connection.hasExtension("X-Resource");
}

std::vector<xcb_window_t> windowsIn(const std::optional<Property>& property) {
    std::vector<xcb_window_t> windows;
    if (property && property->type == XCB_ATOM_WINDOW) {
        for (std::uint32_t window : property->cardinals()) {
            windows.push_back(window);
        }
    }
    return windows;
}

// The pid that XRes gives for the client that made `window`.
struct PidQuestion {
    bool asked = false;
    xcb_res_query_client_ids_cookie_t cookie{};
};

PidQuestion askPid(const XConnection& connection, bool resources, xcb_window_t window) {
    if (!resources || window == XCB_NONE) {
        return {};  // a client of None would ask about every client
    }
    xcb_res_client_id_spec_t client{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    return {true, xcb_res_query_client_ids(connection.xcb(), 1, &client)};
}

std::optional<std::int32_t> answerPid(const XConnection& connection, const PidQuestion& question) {
    if (!question.asked) {
        return std::nullopt;
    }
    ReplyPtr<xcb_res_query_client_ids_reply_t> reply =
        connection.reply<xcb_res_query_client_ids_reply_t>(question.cookie);
    if (!reply) {
        return std::nullopt;
    }
    for (auto ids = xcb_res_query_client_ids_ids_iterator(reply.get()); ids.rem > 0;
         xcb_res_client_id_value_next(&ids)) {
        if ((ids.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
            xcb_res_client_id_value_value_length(ids.data) >= 1) {
            auto pid = static_cast<std::int32_t>(*xcb_res_client_id_value_value(ids.data));
            if (pid > 0) {
                return pid;
            }
        }
    }
    return std::nullopt;
}

// The pid from XRes, else from _NET_WM_PID.
std::optional<std::int32_t> ownerPid(std::optional<std::int32_t> fromResources,
                                     const std::optional<Property>& wmPid) {
    if (fromResources) {
        return fromResources;
    }
    if (wmPid && wmPid->type == XCB_ATOM_CARDINAL) {
        std::optional<std::uint32_t> value = wmPid->firstCardinal();
        if (value && *value > 0 && *value <= 0x7FFFFFFF) {
            return static_cast<std::int32_t>(*value);
        }
    }
    return std::nullopt;
}

std::optional<WindowType> windowType(const XConnection& connection,
                                     const std::optional<Property>& property) {
    if (!property || property->type != XCB_ATOM_ATOM) {
        return std::nullopt;
    }
    const std::vector<xcb_atom_t>& known = connection.atoms().windowTypes;
    // The first type the window lists that we know is the one it prefers.
    for (std::uint32_t atom : property->cardinals()) {
        auto found = std::find(known.begin(), known.end(), atom);
        if (atom != 0 && found != known.end()) {
            return static_cast<WindowType>(found - known.begin());
        }
    }
    return std::nullopt;
}

bool hasState(const std::optional<Property>& states, xcb_atom_t state) {
    if (!states || states->type != XCB_ATOM_ATOM || state == 0) {
        return false;
    }
    std::vector<std::uint32_t> values = states->cardinals();
    return std::find(values.begin(), values.end(), state) != values.end();
}

std::optional<std::string> decodeTitle(const XConnection& connection,
                                       const std::optional<Property>& netName,
                                       const std::optional<Property>& wmName) {
    if (netName && netName->format == 8 && netName->type == connection.atoms().utf8String) {
        return repairUtf8(netName->bytes);
    }
    if (!wmName || wmName->format != 8) {
        return std::nullopt;
    }
    if (wmName->type == XCB_ATOM_STRING) {
        return latin1ToUtf8(wmName->bytes);
    }
    if (wmName->type == connection.atoms().compoundText) {
        return compoundTextToUtf8(wmName->bytes);
    }
    return repairUtf8(wmName->bytes);
}

// WM_CLASS holds the instance name and then the class name, each ended by a NUL.
std::optional<std::string> className(const std::optional<Property>& wmClass) {
    if (!wmClass || wmClass->format != 8) {
        return std::nullopt;
    }
    std::string_view bytes = wmClass->bytes;
    std::size_t end = bytes.find('\0');
    if (end == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view rest = bytes.substr(end + 1);
    return latin1ToUtf8(rest.substr(0, rest.find('\0')));
}

// The viewable input-output children of the root, bottom to top, with their frames.
std::vector<TopLevel> viewableRootChildren(const XConnection& connection,
                                           const std::vector<xcb_window_t>& children) {
    xcb_connection_t* xcb = connection.xcb();
    ScreenSize screen = connection.screenSize();
    std::vector<xcb_get_window_attributes_cookie_t> attributeCookies;
    std::vector<xcb_get_geometry_cookie_t> geometryCookies;
    for (xcb_window_t child : children) {
        attributeCookies.push_back(xcb_get_window_attributes(xcb, child));
        geometryCookies.push_back(xcb_get_geometry(xcb, child));
    }
    std::vector<TopLevel> viewable;
    for (std::size_t index = 0; index < children.size(); ++index) {
        ReplyPtr<xcb_get_window_attributes_reply_t> attributes =
            connection.reply<xcb_get_window_attributes_reply_t>(attributeCookies[index]);
        ReplyPtr<xcb_get_geometry_reply_t> geometry =
            connection.reply<xcb_get_geometry_reply_t>(geometryCookies[index]);
        if (!attributes || !geometry || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
            attributes->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT) {
            continue;
        }
        // Only windows on screen: the window manager parks helper windows outside it.
        std::int32_t right = geometry->x + geometry->width + 2 * geometry->border_width;
        std::int32_t bottom = geometry->y + geometry->height + 2 * geometry->border_width;
        if (right <= 0 || bottom <= 0 || geometry->x >= screen.width ||
            geometry->y >= screen.height) {
            continue;
        }
        TopLevel window;
        window.frame = children[index];
        window.client = children[index];
        window.overrideRedirect = attributes->override_redirect != 0;
        window.x = geometry->x;
        window.y = geometry->y;
        window.width = geometry->width + 2 * geometry->border_width;
        window.height = geometry->height + 2 * geometry->border_width;
        viewable.push_back(window);
    }
    return viewable;
}

// For each managed client, the child of the root that holds it (the window manager's frame),
// found by walking up the tree one level per round for all clients at once.
std::map<xcb_window_t, xcb_window_t> framesOfClients(const XConnection& connection,
                                                     const std::vector<xcb_window_t>& clients,
                                                     const std::set<xcb_window_t>& rootChildren) {
    xcb_connection_t* xcb = connection.xcb();
    std::map<xcb_window_t, xcb_window_t> frameOf;
    std::vector<std::pair<xcb_window_t, xcb_window_t>> walking;  // client, current window
    for (xcb_window_t client : clients) {
        if (rootChildren.count(client)) {
            frameOf[client] = client;  // not reparented
        } else {
            walking.emplace_back(client, client);
        }
    }
    for (int level = 0; level < deepestFrameNesting && !walking.empty(); ++level) {
        std::vector<xcb_query_tree_cookie_t> cookies;
        for (const auto& [client, window] : walking) {
            cookies.push_back(xcb_query_tree(xcb, window));
        }
        std::vector<std::pair<xcb_window_t, xcb_window_t>> next;
        for (std::size_t index = 0; index < walking.size(); ++index) {
            ReplyPtr<xcb_query_tree_reply_t> tree =
                connection.reply<xcb_query_tree_reply_t>(cookies[index]);
            if (!tree) {
                continue;  // the client is gone
            }
            if (tree->parent == connection.root() || rootChildren.count(tree->parent)) {
                xcb_window_t frame =
                    tree->parent == connection.root() ? walking[index].second : tree->parent;
                frameOf[walking[index].first] = frame;
            } else if (tree->parent != 0) {
                next.emplace_back(walking[index].first, tree->parent);
            }
        }
        walking = std::move(next);
    }
    return frameOf;
}

struct WindowQuestions {
    xcb_get_property_cookie_t netName;
    xcb_get_property_cookie_t wmName;
    xcb_get_property_cookie_t wmClass;
    xcb_get_property_cookie_t wmPid;
    xcb_get_property_cookie_t type;
    xcb_get_property_cookie_t state;
    PidQuestion pid;
};

}  // namespace

Json listWindows(const XConnection& connection) {
    if (!connection.usable()) {
        return Json();
    }
    xcb_connection_t* xcb = connection.xcb();
    const Atoms& atoms = connection.atoms();
    bool resources = hasResourceExtension(connection);

    xcb_query_tree_cookie_t rootTreeCookie = xcb_query_tree(xcb, connection.root());
    xcb_get_property_cookie_t stackingCookie =
        connection.requestProperty(connection.root(), atoms.netClientListStacking, 65536);
    ReplyPtr<xcb_query_tree_reply_t> rootTree =
        connection.reply<xcb_query_tree_reply_t>(rootTreeCookie);
    std::vector<xcb_window_t> clients = windowsIn(connection.property(stackingCookie));
    if (!rootTree) {
        return Json();
    }
    xcb_window_t* first = xcb_query_tree_children(rootTree.get());
    std::vector<xcb_window_t> children(first,
                                       first + xcb_query_tree_children_length(rootTree.get()));

    std::vector<TopLevel> topLevels = viewableRootChildren(connection, children);
    std::set<xcb_window_t> rootChildren(children.begin(), children.end());
    std::map<xcb_window_t, xcb_window_t> clientOfFrame;
    for (const auto& [client, frame] : framesOfClients(connection, clients, rootChildren)) {
        clientOfFrame[frame] = client;
    }
    for (TopLevel& window : topLevels) {
        auto found = clientOfFrame.find(window.frame);
        if (found != clientOfFrame.end()) {
            window.client = found->second;
        }
    }

    // The query tree lists children bottom to top; the window list goes front to back.
    std::reverse(topLevels.begin(), topLevels.end());
    std::vector<WindowQuestions> questions;
    questions.reserve(topLevels.size());
    for (const TopLevel& window : topLevels) {
        xcb_window_t client = window.client;
        questions.push_back({connection.requestProperty(client, atoms.netWmName),
                             connection.requestProperty(client, XCB_ATOM_WM_NAME),
                             connection.requestProperty(client, XCB_ATOM_WM_CLASS),
                             connection.requestProperty(client, atoms.netWmPid),
                             connection.requestProperty(client, atoms.netWmWindowType),
                             connection.requestProperty(client, atoms.netWmState),
                             askPid(connection, resources, client)});
    }

    Json list = Json::array();
    for (std::size_t index = 0; index < topLevels.size(); ++index) {
        const TopLevel& window = topLevels[index];
        WindowQuestions& asked = questions[index];
        std::optional<Property> netName = connection.property(asked.netName);
        std::optional<Property> wmName = connection.property(asked.wmName);
        std::optional<Property> wmClass = connection.property(asked.wmClass);
        std::optional<Property> wmPid = connection.property(asked.wmPid);
        std::optional<Property> type = connection.property(asked.type);
        std::optional<Property> state = connection.property(asked.state);
        std::optional<std::int32_t> pid = ownerPid(answerPid(connection, asked.pid), wmPid);

        WindowKind kind;
        kind.type = windowType(connection, type);
        kind.overrideRedirect = window.overrideRedirect;
        kind.above = hasState(state, atoms.netWmStateAbove);
        kind.below = hasState(state, atoms.netWmStateBelow);
        std::optional<int> layer = windowLayer(kind);
        if (!layer) {
            continue;  // the desktop window
        }
        Json entry = {
            {"kCGWindowNumber", window.client},
            {"kCGWindowOwnerPID", pid.value_or(0)},
            {"kCGWindowLayer", *layer},
            {"kCGWindowBounds",
             {{"X", window.x},
              {"Y", window.y},
              {"Width", window.width},
              {"Height", window.height}}},
        };
        if (std::optional<std::string> owner = className(wmClass)) {
            entry["kCGWindowOwnerName"] = *owner;
        }
        if (std::optional<std::string> title = decodeTitle(connection, netName, wmName)) {
            entry["kCGWindowName"] = *title;
        }
        list.push_back(std::move(entry));
    }
    return list;
}

std::vector<ScreenRect> monitorAreas(const XConnection& connection) {
    std::vector<ScreenRect> areas;
    if (!connection.usable()) {
        return areas;
    }
    if (connection.hasExtension("RANDR")) {
        // The CRTCs that show something, asked together (RandR 1.2; its monitor request is
        // sent with bytes XCB leaves unset).
        xcb_connection_t* xcb = connection.xcb();
        ReplyPtr<xcb_randr_get_screen_resources_current_reply_t> resources =
            connection.reply<xcb_randr_get_screen_resources_current_reply_t>(
                xcb_randr_get_screen_resources_current(xcb, connection.root()));
        if (resources) {
            xcb_randr_crtc_t* crtcs = xcb_randr_get_screen_resources_current_crtcs(resources.get());
            int count = xcb_randr_get_screen_resources_current_crtcs_length(resources.get());
            std::vector<xcb_randr_get_crtc_info_cookie_t> cookies;
            for (int index = 0; index < count; ++index) {
                cookies.push_back(
                    xcb_randr_get_crtc_info(xcb, crtcs[index], resources->config_timestamp));
            }
            for (xcb_randr_get_crtc_info_cookie_t cookie : cookies) {
                ReplyPtr<xcb_randr_get_crtc_info_reply_t> crtc =
                    connection.reply<xcb_randr_get_crtc_info_reply_t>(cookie);
                if (crtc && crtc->mode != XCB_NONE && crtc->width > 0 && crtc->height > 0) {
                    areas.push_back({static_cast<double>(crtc->x), static_cast<double>(crtc->y),
                                     static_cast<double>(crtc->width),
                                     static_cast<double>(crtc->height)});
                }
            }
        }
    }
    if (areas.empty()) {
        // No CRTC reported (a server without RandR 1.2): the screen is the root window.
        ScreenSize screen = connection.screenSize();
        areas.push_back(
            {0, 0, static_cast<double>(screen.width), static_cast<double>(screen.height)});
    }
    return areas;
}

std::optional<std::int32_t> WindowOwners::ownerOf(const XConnection& connection,
                                                  xcb_window_t window) {
    if (window == XCB_NONE) {
        return std::nullopt;
    }
    auto known = owners_.find(window);
    if (known != owners_.end()) {
        return known->second;
    }
    PidQuestion pid = askPid(connection, hasResourceExtension(connection), window);
    xcb_get_property_cookie_t wmPid =
        connection.requestProperty(window, connection.atoms().netWmPid, 1);
    std::optional<std::int32_t> owner =
        ownerPid(answerPid(connection, pid), connection.property(wmPid));
    if (owner) {
        owners_[window] = *owner;
    }
    return owner;
}

namespace {

// Whether the window on top of all others is an open popup of `owner` (a menu, a drop-down, a
// drag icon; not a tooltip or a notification, which grab nothing). Toolkits grab the keyboard
// and the pointer while such a popup is open and map it above everything; a grab that comes
// with no popup of the focused application on top is taken to be another client's.
bool popupOnTopOf(const XConnection& connection, WindowOwners& owners, std::int32_t owner) {
    ReplyPtr<xcb_query_tree_reply_t> tree = connection.reply<xcb_query_tree_reply_t>(
        xcb_query_tree(connection.xcb(), connection.root()));
    if (!tree) {
        return false;
    }
    xcb_window_t* first = xcb_query_tree_children(tree.get());
    std::vector<TopLevel> viewable = viewableRootChildren(
        connection, {first, first + xcb_query_tree_children_length(tree.get())});
    if (viewable.empty() || !viewable.back().overrideRedirect) {
        return false;
    }
    xcb_window_t top = viewable.back().frame;
    std::optional<WindowType> type = windowType(
        connection,
        connection.property(connection.requestProperty(top, connection.atoms().netWmWindowType)));
    if (type == WindowType::Tooltip || type == WindowType::Notification) {
        return false;
    }
    return owners.ownerOf(connection, top) == owner;
}

}  // namespace

std::optional<std::int32_t> keyboardOwnerPid(const XConnection& connection, WindowOwners& owners,
                                             const KeyboardQuestion& question) {
    if (!connection.usable()) {
        return std::nullopt;
    }
    xcb_connection_t* xcb = connection.xcb();
    xcb_get_input_focus_cookie_t focusCookie = xcb_get_input_focus(xcb);
    xcb_get_property_cookie_t activeCookie =
        connection.requestProperty(connection.root(), connection.atoms().netActiveWindow, 1);
    GrabProbe::Questions grabQuestions;
    if (question.grabs) {
        grabQuestions = question.grabs->ask(connection);
    }
    if (question.afterAsking) {
        question.afterAsking();
    }
    ReplyPtr<xcb_get_input_focus_reply_t> focus =
        connection.reply<xcb_get_input_focus_reply_t>(focusCookie);
    std::vector<xcb_window_t> active = windowsIn(connection.property(activeCookie));
    // No focus, or focus that follows the pointer: no application has the keyboard for sure.
    if (!focus || focus->focus == XCB_NONE || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT ||
        focus->focus == connection.root()) {
        return std::nullopt;
    }
    xcb_window_t activeWindow = active.empty() ? XCB_NONE : active.front();
    std::optional<std::int32_t> owner = owners.ownerOf(connection, focus->focus);
    std::optional<std::int32_t> activeOwner = owners.ownerOf(connection, activeWindow);
    // The window manager moves the focus first and names the new active window a few
    // milliseconds later (or the other way round): while the two disagree, the keyboard is
    // changing hands and belongs to no one.
    if (activeWindow != XCB_NONE && activeOwner != owner) {
        return std::nullopt;
    }
    if (question.grabs && owner) {
        ActiveGrabs grabs = question.grabs->answer(connection, grabQuestions);
        bool grabbed = grabs.keyboard || (grabs.pointer && !question.pointerPressedByUs);
        if (grabbed && !popupOnTopOf(connection, owners, *owner)) {
            return std::nullopt;  // the keyboard or the pointer goes to whoever grabbed it
        }
    }
    return owner;
}

namespace {

void sendRootMessage(const XConnection& connection, xcb_window_t window, xcb_atom_t type,
                     std::array<std::uint32_t, 5> data) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    for (std::size_t index = 0; index < data.size(); ++index) {
        message.data.data32[index] = data[index];
    }
    xcb_send_event(connection.xcb(), 0, connection.root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
}

constexpr std::uint32_t sourceIsPager = 2;  // a request on the user's behalf, never refused
constexpr std::uint32_t allDesktops = 0xFFFFFFFF;

}  // namespace

void activateWindowOf(const XConnection& connection, std::int32_t pid,
                      std::optional<std::uint32_t> preferred) {
    if (!connection.usable()) {
        return;
    }
    const Atoms& atoms = connection.atoms();
    bool resources = hasResourceExtension(connection);
    xcb_get_property_cookie_t stackingCookie =
        connection.requestProperty(connection.root(), atoms.netClientListStacking, 65536);
    xcb_get_property_cookie_t activeCookie =
        connection.requestProperty(connection.root(), atoms.netActiveWindow, 1);
    xcb_get_property_cookie_t desktopCookie =
        connection.requestProperty(connection.root(), atoms.netCurrentDesktop, 1);
    std::vector<xcb_window_t> clients = windowsIn(connection.property(stackingCookie));
    std::vector<xcb_window_t> active = windowsIn(connection.property(activeCookie));
    std::optional<Property> currentDesktop = connection.property(desktopCookie);

    struct ClientQuestions {
        PidQuestion pid;
        xcb_get_property_cookie_t wmPid;
        xcb_get_property_cookie_t type;
        xcb_get_property_cookie_t desktop;
    };
    std::vector<ClientQuestions> questions;
    for (xcb_window_t client : clients) {
        questions.push_back({askPid(connection, resources, client),
                             connection.requestProperty(client, atoms.netWmPid, 1),
                             connection.requestProperty(client, atoms.netWmWindowType),
                             connection.requestProperty(client, atoms.netWmDesktop, 1)});
    }
    // The stacking list goes bottom to top: the last match is the topmost.
    std::optional<xcb_window_t> chosen;
    // All desktops where the window names none: nothing to go to first.
    std::uint32_t chosenDesktop = allDesktops;
    for (std::size_t index = 0; index < clients.size(); ++index) {
        std::optional<std::int32_t> owner = ownerPid(answerPid(connection, questions[index].pid),
                                                     connection.property(questions[index].wmPid));
        std::optional<WindowType> type =
            windowType(connection, connection.property(questions[index].type));
        std::optional<Property> desktop = connection.property(questions[index].desktop);
        // Once the preferred window is chosen, no window above it replaces it.
        if (owner == pid && isActivatable(type) && (!preferred || chosen != preferred)) {
            chosen = clients[index];
            chosenDesktop = desktop ? desktop->firstCardinal().value_or(allDesktops) : allDesktops;
        }
    }
    if (!chosen) {
        return;
    }
    std::optional<std::uint32_t> current =
        currentDesktop ? currentDesktop->firstCardinal() : std::nullopt;
    // A window on another desktop is never activated from here: go to its desktop first.
    if (current && chosenDesktop != allDesktops && chosenDesktop != *current) {
        sendRootMessage(connection, connection.root(), atoms.netCurrentDesktop,
                        {chosenDesktop, XCB_CURRENT_TIME, 0, 0, 0});
    }
    xcb_window_t previous = active.empty() ? 0 : active.front();
    sendRootMessage(connection, *chosen, atoms.netActiveWindow,
                    {sourceIsPager, XCB_CURRENT_TIME, previous, 0, 0});
    connection.flush();
}

}  // namespace quorvel::x11
