// Measures, on the virtual desktop, what the Linux platform adds to the driver's own pauses:
// the window list with 50 windows on screen, a click batch and a 1000-character text.
// Run it by hand (it is not a test): build/bench/quorvel_desktop_bench

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "../tests/e2e/DriverRun.h"
#include "../tests/e2e/VirtualDesktop.h"
#include "platform/linux/x11/X11Platform.h"

using namespace quorvel;
using namespace std::chrono_literals;

namespace {

double milliseconds(std::chrono::nanoseconds duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// Maps `count` titled top-level windows of this process and waits until the window manager
// manages them all.
xcb_connection_t* openWindows(int count) {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    for (int index = 0; index < count; ++index) {
        xcb_window_t window = xcb_generate_id(connection);
        std::uint32_t background = screen->white_pixel;
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root,
                          static_cast<std::int16_t>(20 * (index % 20)),
                          static_cast<std::int16_t>(15 * (index % 30)), 200, 120, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL,
                          &background);
        std::string title = "bench window " + std::to_string(index);
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
                            XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(title.size()),
                            title.data());
        xcb_map_window(connection, window);
    }
    xcb_flush(connection);
    return connection;
}

// The middle of the pid's topmost window, as the window server lists it.
ScreenPoint middleOfWindow(std::int32_t pid) {
    X11Platform platform;
    for (const Json& window : platform.windowServerList()) {
        if (window.value("kCGWindowOwnerPID", 0) == pid) {
            const Json& bounds = window["kCGWindowBounds"];
            return {bounds["X"].get<double>() + bounds["Width"].get<double>() / 2,
                    bounds["Y"].get<double>() + bounds["Height"].get<double>() / 2};
        }
    }
    return {};
}

}  // namespace

int main() {
    e2e::VirtualDesktop desktop(
        {"gtk3-widget-factory", "xterm -e sh -c 'stty raw -echo; cat >/dev/null'"});
    if (!desktop.started()) {
        std::fprintf(stderr, "the virtual desktop did not start\n");
        return 1;
    }
    std::int32_t factory = desktop.appPids()[0];
    std::int32_t terminal = desktop.appPids()[1];

    {
        X11Platform platform;
        xcb_connection_t* windows = openWindows(48);
        std::size_t listed = 0;
        for (int wait = 0; wait < 100 && listed < 50; ++wait) {
            std::this_thread::sleep_for(50ms);
            listed = platform.windowServerList().size();
        }
        std::vector<double> samples;
        for (int run = 0; run < 200; ++run) {
            Nanos start = platform.now();
            listed = platform.windowServerList().size();
            samples.push_back(milliseconds(platform.now() - start));
        }
        std::sort(samples.begin(), samples.end());
        std::printf("window list of %zu windows: median %.2f ms, 90th percentile %.2f ms\n", listed,
                    samples[samples.size() / 2], samples[samples.size() * 9 / 10]);
        xcb_disconnect(windows);
    }

    // The driver's own pauses: the first focus poll (0.05 s), the snapshot pause (0.2 s), and
    // per click 3 x 0.12 s, per typed character 0.005 s.
    // The terminal has no accessibility tree, so its observation leaves out the walk that the
    // observation benchmark measures; the click on the widget factory shows the walk's share.
    Json click = {{"pid", factory}, {"actions", {{{"type", "click"}, {"x", 300}, {"y", 530}}}}};
    ScreenPoint middle = middleOfWindow(terminal);
    Json terminalClick = {{"pid", terminal},
                          {"actions", {{{"type", "click"}, {"x", middle.x}, {"y", middle.y}}}}};
    std::string text;
    for (int index = 0; index < 100; ++index) {
        text += index % 10 == 9 ? "\u00E9t\u00E9 \U0001F600 abc " : "abcdefghi ";
    }
    Json typing = {{"pid", terminal}, {"actions", {{{"type", "type"}, {"text", text}}}}};
    struct Case {
        const char* name;
        const Json* request;
        double pauses;
    };
    std::size_t characters = 0;
    for (std::size_t index = 0; index < text.size(); ++index) {
        characters += (static_cast<unsigned char>(text[index]) & 0xC0) != 0x80 ? 1 : 0;
    }
    const Case cases[] = {
        {"typed text", &typing, 0.05 + 0.005 * static_cast<double>(characters) + 0.2},
        {"click batch on the terminal", &terminalClick, 0.05 + 0.36 + 0.2},
        {"click batch on the widget factory, its tree walked", &click, 0.05 + 0.36 + 0.2}};
    for (const Case& test : cases) {
        std::vector<double> overheads;
        for (int run = 0; run < 5; ++run) {
            e2e::DriverReply reply = e2e::runDriver(*test.request);
            if (reply.exitStatus != 0) {
                std::printf("%s failed: %s\n", test.name, reply.line.c_str());
                continue;
            }
            overheads.push_back(milliseconds(reply.elapsed) - test.pauses * 1000);
        }
        std::sort(overheads.begin(), overheads.end());
        if (!overheads.empty()) {
            double median = overheads[overheads.size() / 2];
            std::printf(
                "%s: pauses %.0f ms, overhead median %.0f ms (%.1f %%), range %.0f-%.0f ms\n",
                test.name, test.pauses * 1000, median, 100 * median / (test.pauses * 1000),
                overheads.front(), overheads.back());
        }
    }
    std::printf(
        "(%zu characters typed; the overhead includes starting the process and any focus "
        "poll beyond the first)\n",
        characters);
    return 0;
}
