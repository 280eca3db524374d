#pragma once

// The X server's keyboard mapping as the typing of text needs it: where a keysym sits, and
// spare keycodes (those with no keysym at all) to hold the keysyms that the keyboard lacks.
// Every change is one request for a whole range of keycodes, because each change makes the
// window manager grab its bindings again, and the original rows are put back when typing ends.

#include <xcb/xcb.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/Platform.h"
#include "platform/linux/KeyTable.h"
#include "platform/linux/XConnection.h"

namespace quorvel::x11 {

struct KeyPosition {
    xcb_keycode_t keycode = 0;
    bool shifted = false;  // the keysym is on the key's second level
};

class KeyboardMap {
  public:
    explicit KeyboardMap(const XConnection& connection) : connection_(connection) {}

    // Where `keysym` is now, the bindings made so far included; read from the server once.
    std::optional<KeyPosition> find(Keysym keysym);

    // Whether every one of `keysyms` has a key, so that binding them changes nothing.
    bool hasAll(const std::vector<Keysym>& keysyms);

    // Binds as many of `keysyms` as it can, in order, to spare keycodes in one change. A
    // keycode bound earlier is reused only once the last key event (`lastKeyEvent`) is
    // `settleBeforeRebinding` old, because applications read the mapping after the event.
    void bind(const std::vector<Keysym>& keysyms, Nanos lastKeyEvent);

    // Puts the original rows back in one change once the last key event has settled.
    void restore(Nanos lastKeyEvent);

    bool changed() const { return lowestChanged_.has_value(); }

    // Applications look a key event up in the mapping when they handle it, which may be well
    // after the server delivered it: 50 ms lost no character in GTK.
    static constexpr Nanos settleBeforeRebinding = std::chrono::milliseconds(50);

  private:
    struct Binding {
        xcb_keycode_t keycode;
        Keysym keysym;
        std::uint64_t lastUse;
    };

    bool load();
    std::vector<Keysym>::const_iterator row(xcb_keycode_t keycode,
                                            const std::vector<Keysym>& map) const;
    void send(xcb_keycode_t first, xcb_keycode_t last, const std::vector<Keysym>& map);

    const XConnection& connection_;
    bool loaded_ = false;
    xcb_keycode_t minKeycode_ = 0;
    std::uint8_t perKeycode_ = 0;
    std::vector<Keysym> original_;
    std::vector<Keysym> current_;
    std::vector<xcb_keycode_t> spare_;
    std::vector<Binding> bound_;
    std::uint64_t uses_ = 0;
    std::optional<xcb_keycode_t> lowestChanged_;
    std::optional<xcb_keycode_t> highestChanged_;
};

}  // namespace quorvel::x11
