#pragma once

// A virtual desktop for the end-to-end tests, brought up and torn down by the project's script,
// with helpers that look at the X server from outside the driver.

#include <xcb/xcb.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Json.h"

namespace quorvel::e2e {

struct CommandResult {
    int status = -1;
    std::string output;
};

// Runs a shell command line and collects its standard output.
CommandResult runShell(const std::string& commandLine);

// Quotes a word for the shell.
std::string shellQuoted(const std::string& word);

class VirtualDesktop {
  public:
    // Starts Xvfb, the buses, openbox and `apps`, and points this process's DISPLAY and
    // DBUS_SESSION_BUS_ADDRESS at them.
    explicit VirtualDesktop(const std::vector<std::string>& apps);
    ~VirtualDesktop();
    VirtualDesktop(const VirtualDesktop&) = delete;
    VirtualDesktop& operator=(const VirtualDesktop&) = delete;

    bool started() const { return !state_.empty(); }
    const std::vector<std::int32_t>& appPids() const { return appPids_; }
    // Starts one more application and waits for its window; gives its pid.
    std::int32_t startApp(const std::string& command);

    enum class Service { XServer, SessionBus, AccessibilityBus, WindowManager };
    // The process that provides the service; 0 when it is not known.
    std::int32_t servicePid(Service service) const;

  private:
    std::string state_;
    std::vector<std::int32_t> appPids_;
};

// A connection of the test's own to the X server, for what the driver must have left behind.
class XProbe {
  public:
    XProbe();
    ~XProbe();
    XProbe(const XProbe&) = delete;
    XProbe& operator=(const XProbe&) = delete;

    // Keycodes that are down, and the pointer buttons that are down (1 to 5).
    std::vector<int> keysDown();
    std::vector<int> buttonsDown();
    std::vector<std::uint32_t> keyboardMapping();
    std::pair<int, int> pointer();

    // Pixels of a rectangle of the screen, row by row.
    struct Image {
        int width = 0;
        int height = 0;
        std::vector<std::uint32_t> pixels;
        bool sameRow(const Image& other, int row, int otherRow) const;
    };
    Image grab(int x, int y, int width, int height);

    // The client window of `pid` that the window manager lists last (the topmost).
    xcb_window_t windowOf(std::int32_t pid);
    // Asks the window manager to activate, minimise or move a window to another desktop.
    void activate(xcb_window_t window);
    void minimise(xcb_window_t window);
    void moveToDesktop(xcb_window_t window, std::uint32_t desktop);
    void setAbove(xcb_window_t window, bool above);
    std::uint32_t currentDesktop();
    // Waits until the server has handled every request sent so far.
    void sync();
    bool isViewable(xcb_window_t frameOrClient);
    // Moves the pointer to a root position, as a user's hand would.
    void warpPointer(int x, int y);
    // Whether the server still has a connection of the process `pid`: once it has none, every
    // request that process sent has been handled or dropped.
    bool hasClientOf(std::int32_t pid);
    // Lets go of every key and button that is down: a test that found one held leaves the
    // next test a free keyboard and pointer.
    void releaseEverything();

  private:
    xcb_atom_t atom(const char* name);
    void sendToRoot(xcb_window_t window, xcb_atom_t type, std::uint32_t d0, std::uint32_t d1,
                    std::uint32_t d2);

    xcb_connection_t* connection_ = nullptr;
    xcb_window_t root_ = 0;
};

// The vertical distance by which the content of `after` moved up compared with `before`
// (positive when a view scrolled down), found as the shift that makes the most rows match.
int verticalShift(const XProbe::Image& before, const XProbe::Image& after);
// The same sideways: positive when the content moved left.
int horizontalShift(const XProbe::Image& before, const XProbe::Image& after);

// The keysyms of the first two groups, two levels each, per keycode, from a keyboard mapping whose
// first entry is the number of keysyms per keycode. The server may report the same mapping with
// more keysyms per keycode after a change (7 became 15), repeating the groups.
std::vector<std::uint32_t> coreKeymap(const std::vector<std::uint32_t>& mapping);

// The text of the primary selection, as UTF-8.
std::string primarySelection();

}  // namespace quorvel::e2e
