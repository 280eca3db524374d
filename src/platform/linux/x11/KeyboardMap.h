#pragma once

// The keyboard as typing needs it: where each keysym is under the server's XKB keymap and
// state, kept current from the server's events, and spare keycodes (keycodes with no keysym at
// all) bound to the keysyms that the keymap lacks. Only spare keycodes that the driver bound
// itself are ever written, and each is put back only while it still holds the driver's keysyms,
// so that another client's change made meanwhile stays.
//
// The keymap is read through a library that waits on the server without a bound: that is done
// only while this connection holds the server grabbed, when the server answers it at once.

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/Platform.h"
#include "platform/linux/x11/KeyTable.h"
#include "platform/linux/x11/KeyboardLayout.h"
#include "platform/linux/x11/XConnection.h"
#include "platform/linux/x11/XkbHandles.h"

namespace quorvel::x11 {

class KeyboardMap {
  public:
    explicit KeyboardMap(XConnection& connection) : connection_(connection) {}

    // Takes in the keyboard events that the server has sent so far, without waiting: a new
    // state applies at once, a changed keymap is read again by `current`.
    void takeEvents();
    // Takes in the events, then reads the keymap if it is not read yet or has changed, holding
    // the server meanwhile (grabbing it if this connection does not hold it already). False
    // when a keymap to follow could not be read: look-ups may then be out of date.
    bool current();

    // Where `keysym` is under the keymap and state last taken in, the bindings included.
    std::optional<KeyPosition> find(Keysym keysym);
    bool hasAll(const std::vector<Keysym>& keysyms);
    std::optional<xcb_keycode_t> shiftKey();

    // Binds what the keymap lacks of `keysyms`, one run of contiguous keycodes per change, and
    // reads the keymap again. Since every keycode bound is one more change to put it back, a
    // keycode holds two keysyms that may share one (`mayShareKeycode`), the second on the Shift
    // level, and one bound with a single such keysym takes a second later. A keycode bound earlier
    // is otherwise reused only once the last key event (`lastKeyEvent`) is `settleBeforeRebinding`
    // old, because applications read the mapping after the event.
    void bind(const std::vector<Keysym>& keysyms, Nanos lastKeyEvent);

    // Once the last key event has settled, puts each keycode that the driver bound and that
    // still holds its keysyms back to no keysym, read afresh under a grab. When the server
    // answers another client for now, the driver's keycodes are put back unread, the requests
    // waiting their turn.
    void restore(Nanos lastKeyEvent);

    bool changed() const { return !bound_.empty(); }
    // When the driver last changed the mapping; zero before it ever has.
    Nanos lastChange() const { return lastChange_; }

    // A key press the driver sent as request `sequence`, `withModifiers` when keys of the
    // driver were held around it. `guarded` when the server was held from the look-up to the
    // press, so that no other client could change the keyboard between.
    void pressed(xcb_keycode_t keycode, bool modifier, bool withModifiers, std::uint32_t sequence,
                 bool guarded);
    // Whether another client changed the keyboard before the server handled a press that was
    // not guarded: that press may have typed something else.
    bool changedUnderUs() const { return changedUnderUs_; }

    // Applications look a key event up in the mapping when they handle it, which may be well
    // after the server delivered it: 50 ms lost no character in GTK.
    static constexpr Nanos settleBeforeRebinding = std::chrono::milliseconds(50);
    // Some read a changed mapping late as well: Chromium typed other keysyms, or none, for
    // keycodes pressed within milliseconds of their change.
    static constexpr Nanos settleAfterChange = std::chrono::milliseconds(20);

  private:
    struct Binding {
        xcb_keycode_t keycode;
        std::array<Keysym, 2> levels;
        std::uint64_t lastUse;
        // Pressed with a modifier held, so that an application may look a pending event of it
        // up on any level: only a key pressed alone can take a second keysym at once.
        bool pressedWithModifiers = false;
    };
    using Row = std::pair<xcb_keycode_t, std::array<Keysym, 2>>;
    // The core keyboard mapping as read, a row of `perKeycode` keysyms per keycode.
    struct Rows {
        xcb_keycode_t first = 0;
        std::uint8_t perKeycode = 0;
        std::vector<Keysym> keysyms;
        std::span<const Keysym> row(xcb_keycode_t keycode) const;
    };

    bool setUp();
    bool load();
    std::optional<Rows> readRows();
    // One change per run of contiguous keycodes, each row its two levels and no more.
    void write(const std::vector<Row>& rows, std::uint8_t perKeycode);

    XConnection& connection_;
    XkbContextPtr context_;
    bool setUpTried_ = false;
    bool xkb_ = false;
    std::int32_t device_ = -1;
    std::uint8_t firstEvent_ = 0;
    KeyboardLayout layout_;
    Nanos lastChange_{0};
    bool stale_ = true;
    // The request that began the last read of the keymap and state: events sent before the
    // server handled it are in what was read.
    std::uint32_t loadedAt_ = 0;
    std::vector<std::uint32_t> ownChanges_;
    std::uint32_t lastUnguardedPress_ = 0;
    bool changedUnderUs_ = false;

    std::vector<Binding> bound_;
    std::uint64_t uses_ = 0;
    std::optional<std::size_t> spareLeft_;  // as of the last read
    std::uint8_t perKeycode_ = 0;           // as of the last read
};

}  // namespace quorvel::x11
