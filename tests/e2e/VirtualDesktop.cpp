#include "VirtualDesktop.h"

#include <xcb/res.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace quorvel::e2e {

CommandResult runShell(const std::string& commandLine) {
    CommandResult result;
    FILE* pipe = popen(commandLine.c_str(), "r");
    if (!pipe) {
        return result;
    }
    char buffer[4096];
    std::size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.output.append(buffer, got);
    }
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string shellQuoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

namespace {

// "bash '<the script>' " to start a command line with.
std::string scriptCommand(const char* subcommand) {
    std::string command = "bash ";
    command += shellQuoted(std::string(QUORVEL_SOURCE_DIR) + "/scripts/desktop.sh");
    command += ' ';
    command += subcommand;
    return command;
}

// Lines of the form: export NAME='value'
void applyExports(const std::string& text, std::string& state, std::vector<std::int32_t>& pids) {
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::string prefix = "export ";
        std::size_t equals = line.find('=');
        if (line.rfind(prefix, 0) != 0 || equals == std::string::npos) {
            continue;
        }
        std::string name = line.substr(prefix.size(), equals - prefix.size());
        std::string value = line.substr(equals + 1);
        if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'') {
            value = value.substr(1, value.size() - 2);
        }
        if (name == "QUORVEL_DESKTOP") {
            state = value;
        } else if (name == "QUORVEL_APP_PIDS") {
            std::istringstream words(value);
            std::int32_t pid;
            while (words >> pid) {
                pids.push_back(pid);
            }
        } else {
            setenv(name.c_str(), value.c_str(), 1);
        }
    }
}

}  // namespace

VirtualDesktop::VirtualDesktop(const std::vector<std::string>& apps) {
    std::string command = scriptCommand("start");
    for (const std::string& app : apps) {
        command += ' ';
        command += shellQuoted(app);
    }
    CommandResult result = runShell(command);
    if (result.status != 0) {
        return;
    }
    applyExports(result.output, state_, appPids_);
}

VirtualDesktop::~VirtualDesktop() {
    if (!state_.empty()) {
        std::string command = scriptCommand("stop");
        command += ' ';
        command += shellQuoted(state_);
        runShell(command);
    }
}

std::int32_t VirtualDesktop::startApp(const std::string& command) {
    std::string line = scriptCommand("app");
    line += ' ';
    line += shellQuoted(state_);
    line += ' ';
    line += shellQuoted(command);
    CommandResult result = runShell(line);
    return result.status == 0 ? std::atoi(result.output.c_str()) : 0;
}

std::int32_t VirtualDesktop::servicePid(Service service) const {
    // desktop.sh records Xvfb, the session bus, the accessibility bus's launcher and openbox
    // first, in that order.
    std::ifstream recorded(state_ + "/pids");
    std::vector<std::int32_t> pids;
    for (std::int32_t pid = 0; pids.size() < 4 && recorded >> pid;) {
        pids.push_back(pid);
    }
    if (pids.size() < 4) {
        return 0;
    }
    switch (service) {
        case Service::XServer:
            return pids[0];
        case Service::SessionBus:
            return pids[1];
        case Service::WindowManager:
            return pids[3];
        case Service::AccessibilityBus: {
            // The accessibility bus tells its own pid; its address is on the root window.
            std::string pid =
                runShell(
                    "dbus-send --bus=\"$(xprop -root AT_SPI_BUS | sed 's/^[^\"]*\"//; s/\"$//')\" "
                    "--print-reply=literal --reply-timeout=1000 --dest=org.freedesktop.DBus / "
                    "org.freedesktop.DBus.GetConnectionUnixProcessID string:org.freedesktop.DBus | "
                    "sed 's/.*uint32 //'")
                    .output;
            return std::atoi(pid.c_str());
        }
    }
    return 0;
}

XProbe::XProbe() {
    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_)) {
        throw std::runtime_error("no display");
    }
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
}

XProbe::~XProbe() {
    xcb_disconnect(connection_);
}

std::vector<int> XProbe::keysDown() {
    std::vector<int> down;
    xcb_query_keymap_reply_t* reply =
        xcb_query_keymap_reply(connection_, xcb_query_keymap(connection_), nullptr);
    for (int keycode = 0; reply && keycode < 256; ++keycode) {
        if (reply->keys[keycode / 8] & (1 << (keycode % 8))) {
            down.push_back(keycode);
        }
    }
    free(reply);
    return down;
}

std::vector<int> XProbe::buttonsDown() {
    std::vector<int> down;
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr);
    for (int button = 1; reply && button <= 5; ++button) {
        if (reply->mask & (XCB_BUTTON_MASK_1 << (button - 1))) {
            down.push_back(button);
        }
    }
    free(reply);
    return down;
}

std::pair<int, int> XProbe::pointer() {
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr);
    std::pair<int, int> position =
        reply ? std::pair<int, int>{reply->root_x, reply->root_y} : std::pair<int, int>{-1, -1};
    free(reply);
    return position;
}

std::vector<std::uint32_t> XProbe::keyboardMapping() {
    const xcb_setup_t* setup = xcb_get_setup(connection_);
    auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
    xcb_get_keyboard_mapping_reply_t* reply = xcb_get_keyboard_mapping_reply(
        connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, count), nullptr);
    std::vector<std::uint32_t> keysyms;
    if (reply) {
        const xcb_keysym_t* first = xcb_get_keyboard_mapping_keysyms(reply);
        keysyms.assign(first, first + xcb_get_keyboard_mapping_keysyms_length(reply));
        keysyms.insert(keysyms.begin(), reply->keysyms_per_keycode);
    }
    free(reply);
    return keysyms;
}

bool XProbe::Image::sameRow(const Image& other, int row, int otherRow) const {
    return std::memcmp(&pixels[static_cast<std::size_t>(row * width)],
                       &other.pixels[static_cast<std::size_t>(otherRow * other.width)],
                       static_cast<std::size_t>(width) * 4) == 0;
}

XProbe::Image XProbe::grab(int x, int y, int width, int height) {
    Image image;
    xcb_get_image_reply_t* reply = xcb_get_image_reply(
        connection_,
        xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, root_, static_cast<std::int16_t>(x),
                      static_cast<std::int16_t>(y), static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(height), ~0u),
        nullptr);
    if (reply && xcb_get_image_data_length(reply) >= width * height * 4) {
        image.width = width;
        image.height = height;
        const auto* data = reinterpret_cast<const std::uint32_t*>(xcb_get_image_data(reply));
        image.pixels.assign(data, data + width * height);
    }
    free(reply);
    return image;
}

namespace {

// A row of one colour matches a blank row at any shift, so it tells nothing about the shift.
bool isPlainRow(const XProbe::Image& image, int row) {
    auto first = image.pixels.begin() + static_cast<std::ptrdiff_t>(row) * image.width;
    return std::all_of(first, first + image.width,
                       [&](std::uint32_t pixel) { return pixel == *first; });
}

}  // namespace

std::vector<std::uint32_t> coreKeymap(const std::vector<std::uint32_t>& mapping) {
    std::vector<std::uint32_t> kept;
    if (mapping.empty() || mapping.front() < 4) {
        return kept;
    }
    std::size_t perKeycode = mapping.front();
    for (std::size_t row = 1; row + perKeycode <= mapping.size(); row += perKeycode) {
        kept.insert(kept.end(), mapping.begin() + static_cast<std::ptrdiff_t>(row),
                    mapping.begin() + static_cast<std::ptrdiff_t>(row + 4));
    }
    return kept;
}

int verticalShift(const XProbe::Image& before, const XProbe::Image& after) {
    int best = 0;
    double bestScore = -1;
    for (int shift = -before.height / 2; shift <= before.height / 2; ++shift) {
        int matches = 0;
        int compared = 0;
        for (int row = 0; row < after.height; ++row) {
            int source = row + shift;
            if (source < 0 || source >= before.height || isPlainRow(after, row)) {
                continue;
            }
            ++compared;
            matches += after.sameRow(before, row, source) ? 1 : 0;
        }
        double score = compared > 0 ? static_cast<double>(matches) / compared : 0;
        if (compared >= before.height / 6 && score > bestScore) {
            bestScore = score;
            best = shift;
        }
    }
    return best;
}

int horizontalShift(const XProbe::Image& before, const XProbe::Image& after) {
    // Columns of one image are the rows of its transpose.
    auto transpose = [](const XProbe::Image& image) {
        XProbe::Image turned;
        turned.width = image.height;
        turned.height = image.width;
        turned.pixels.resize(image.pixels.size());
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                turned.pixels[static_cast<std::size_t>(x * image.height + y)] =
                    image.pixels[static_cast<std::size_t>(y * image.width + x)];
            }
        }
        return turned;
    };
    return verticalShift(transpose(before), transpose(after));
}

xcb_atom_t XProbe::atom(const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection_,
        xcb_intern_atom(connection_, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr);
    xcb_atom_t value = reply ? reply->atom : 0;
    free(reply);
    return value;
}

xcb_window_t XProbe::windowOf(std::int32_t pid) {
    xcb_get_property_reply_t* list = xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, root_, atom("_NET_CLIENT_LIST_STACKING"), XCB_ATOM_WINDOW,
                         0, 4096),
        nullptr);
    xcb_window_t found = 0;
    if (list) {
        auto* windows = static_cast<xcb_window_t*>(xcb_get_property_value(list));
        int count = xcb_get_property_value_length(list) / 4;
        xcb_atom_t pidAtom = atom("_NET_WM_PID");
        for (int index = 0; index < count; ++index) {
            xcb_get_property_reply_t* owner = xcb_get_property_reply(
                connection_,
                xcb_get_property(connection_, 0, windows[index], pidAtom, XCB_ATOM_CARDINAL, 0, 1),
                nullptr);
            if (owner && xcb_get_property_value_length(owner) == 4 &&
                *static_cast<std::uint32_t*>(xcb_get_property_value(owner)) ==
                    static_cast<std::uint32_t>(pid)) {
                found = windows[index];
            }
            free(owner);
        }
    }
    free(list);
    return found;
}

void XProbe::sendToRoot(xcb_window_t window, xcb_atom_t type, std::uint32_t d0, std::uint32_t d1,
                        std::uint32_t d2) {
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = type;
    message.data.data32[0] = d0;
    message.data.data32[1] = d1;
    message.data.data32[2] = d2;
    xcb_send_event(connection_, 0, root_,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(connection_);
}

void XProbe::activate(xcb_window_t window) {
    sendToRoot(window, atom("_NET_ACTIVE_WINDOW"), 2, XCB_CURRENT_TIME, 0);
}

void XProbe::minimise(xcb_window_t window) {
    constexpr std::uint32_t iconicState = 3;
    sendToRoot(window, atom("WM_CHANGE_STATE"), iconicState, 0, 0);
}

void XProbe::moveToDesktop(xcb_window_t window, std::uint32_t desktop) {
    sendToRoot(window, atom("_NET_WM_DESKTOP"), desktop, 2, 0);
}

void XProbe::setAbove(xcb_window_t window, bool above) {
    sendToRoot(window, atom("_NET_WM_STATE"), above ? 1 : 0, atom("_NET_WM_STATE_ABOVE"), 0);
}

void XProbe::sync() {
    free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

std::uint32_t XProbe::currentDesktop() {
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(connection_,
                               xcb_get_property(connection_, 0, root_, atom("_NET_CURRENT_DESKTOP"),
                                                XCB_ATOM_CARDINAL, 0, 1),
                               nullptr);
    std::uint32_t desktop = 0xFFFFFFFF;
    if (reply && xcb_get_property_value_length(reply) == 4) {
        desktop = *static_cast<std::uint32_t*>(xcb_get_property_value(reply));
    }
    free(reply);
    return desktop;
}

bool XProbe::isViewable(xcb_window_t window) {
    xcb_get_window_attributes_reply_t* reply = xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, window), nullptr);
    bool viewable = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    free(reply);
    return viewable;
}

void XProbe::warpPointer(int x, int y) {
    xcb_warp_pointer(connection_, XCB_NONE, root_, 0, 0, 0, 0, static_cast<std::int16_t>(x),
                     static_cast<std::int16_t>(y));
    sync();
}

bool XProbe::hasClientOf(std::int32_t pid) {
    xcb_res_client_id_spec_t every{XCB_NONE, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    xcb_res_query_client_ids_reply_t* reply = xcb_res_query_client_ids_reply(
        connection_, xcb_res_query_client_ids(connection_, 1, &every), nullptr);
    bool found = false;
    if (reply) {
        for (auto ids = xcb_res_query_client_ids_ids_iterator(reply); ids.rem > 0;
             xcb_res_client_id_value_next(&ids)) {
            if (xcb_res_client_id_value_value_length(ids.data) == 1 &&
                *xcb_res_client_id_value_value(ids.data) == static_cast<std::uint32_t>(pid)) {
                found = true;
            }
        }
    }
    free(reply);
    return found;
}

void XProbe::releaseEverything() {
    for (int keycode : keysDown()) {
        xcb_test_fake_input(connection_, XCB_KEY_RELEASE, static_cast<std::uint8_t>(keycode),
                            XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    for (int button : buttonsDown()) {
        xcb_test_fake_input(connection_, XCB_BUTTON_RELEASE, static_cast<std::uint8_t>(button),
                            XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    sync();
}

std::string primarySelection() {
    return runShell("xclip -o -selection primary -t UTF8_STRING 2>/dev/null").output;
}

}  // namespace quorvel::e2e
