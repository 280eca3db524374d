#pragma once

// A headless Wayland desktop for the end-to-end tests, brought up and torn down by
// scripts/wayland-desktop.sh, with what the tests see of it from outside the driver: KWin's own
// answers to a script, the clipboard, and what each test application received.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Json.h"

namespace quorvel::e2e {

class WaylandDesktop {
  public:
    enum class Compositor { KWin, Weston };

    // Starts the buses, the compositor and `apps`, and points this process's environment
    // (WAYLAND_DISPLAY, XDG_RUNTIME_DIR, DBUS_SESSION_BUS_ADDRESS) at them.
    WaylandDesktop(Compositor compositor, const std::vector<std::string>& apps);
    ~WaylandDesktop();
    WaylandDesktop(const WaylandDesktop&) = delete;
    WaylandDesktop& operator=(const WaylandDesktop&) = delete;

    bool started() const { return !state_.empty(); }
    const std::vector<std::int32_t>& appPids() const { return appPids_; }
    std::int32_t compositorPid() const { return compositorPid_; }
    // Starts one more application and waits until the compositor shows its window; its pid.
    std::int32_t startApp(const std::string& command);

    // What a KWin script body returns (the inside of a function), as KWin has it; null when
    // KWin did not answer.
    Json kwin(const std::string& body) const;
    std::string clipboard() const;
    void setClipboard(const std::string& text) const;

  private:
    std::string state_;
    std::vector<std::int32_t> appPids_;
    std::int32_t compositorPid_ = 0;
};

// One of the test applications (tests/wayland/e2e/apps): a window of two text fields, "first"
// (focused at start) and "second", that logs each key, button and text change it receives.
class FieldsApp {
  public:
    enum class Toolkit { Gtk4, Qt6 };
    FieldsApp(Toolkit toolkit, std::string folder, std::string title);

    std::string command() const;
    const std::string& title() const { return title_; }
    std::vector<std::string> events() const;
    // Waits up to `seconds` for a line of the log, true when it came.
    bool waitFor(const std::string& line, double seconds = 10) const;
    // The field's text as the application last reported it.
    std::string text(const std::string& field) const;
    // Keys and buttons pressed since the mark and not let go of, as "key 38" or "button 1".
    std::vector<std::string> held() const;
    std::size_t pressCount() const;
    // From here on: what came before (another test's events) counts for nothing in `held`.
    void markStart();

  private:
    Toolkit toolkit_;
    std::string log_;
    std::string title_;
    std::size_t mark_ = 0;
};

}  // namespace quorvel::e2e
