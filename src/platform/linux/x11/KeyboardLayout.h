#pragma once

// Which key gives a keysym, and whether Shift must be held with it, under the server's XKB
// keymap and keyboard state: the effective group and the latched and locked modifiers (Caps
// Lock, Num Lock) choose a key's level as much as the keys held do. A key counts only where it
// yields exactly the keysym with no modifier or with Shift alone, found by simulating that
// state, so that the answer is the one the application receiving the key computes.

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <optional>
#include <unordered_map>

#include "platform/linux/x11/KeyTable.h"
#include "platform/linux/x11/XkbHandles.h"

namespace quorvel::x11 {

struct KeyPosition {
    xcb_keycode_t keycode = 0;
    bool shifted = false;  // Shift is held for it
    bool operator==(const KeyPosition&) const = default;
};

// The server's XKB state apart from the modifiers of keys held down: those the driver adds.
struct LockState {
    std::uint8_t latchedMods = 0;
    std::uint8_t lockedMods = 0;
    std::int16_t baseGroup = 0;
    std::int16_t latchedGroup = 0;
    std::uint8_t lockedGroup = 0;
    bool operator==(const LockState&) const = default;
};

class KeyboardLayout {
  public:
    KeyboardLayout() = default;
    KeyboardLayout(XkbKeymapPtr keymap, const LockState& state);

    bool loaded() const { return keymap_ != nullptr; }
    const LockState& state() const { return state_; }
    void setState(const LockState& state);
    // A key press of the driver other than a modifier uses the latched modifiers and group up,
    // as the server does.
    void useLatches();

    std::optional<KeyPosition> find(Keysym keysym);
    // A key that sets Shift while held: the one with Shift_L, else Shift_R, on its first level.
    std::optional<xcb_keycode_t> shiftKey();

  private:
    void index();

    XkbKeymapPtr keymap_;
    LockState state_;
    bool indexed_ = false;
    std::unordered_map<Keysym, KeyPosition> positions_;
};

// What one event from the server means for the keyboard: a changed keymap (core MappingNotify,
// XKB NewKeyboardNotify or MapNotify) or a new state (XKB StateNotify). `sequence` is the last
// request of this connection that the server had handled when it sent the event.
struct KeyboardEvent {
    enum class Kind { Other, MapChanged, StateChanged };
    Kind kind = Kind::Other;
    LockState state;
    std::uint32_t sequence = 0;
};

// `xkbFirstEvent` is the XKB extension's first event code, absent while its events are not
// selected; only the events of `device` count.
KeyboardEvent decodeKeyboardEvent(const xcb_generic_event_t& event,
                                  std::optional<std::uint8_t> xkbFirstEvent, std::uint8_t device);

// The keysym of a character that XKB and the X server know by name (amacron for U+0101,
// Cyrillic_ef for U+0444), which layouts use and whose case the server knows; any other keysym
// as it is.
Keysym namedKeysym(Keysym keysym);

// The two levels a spare keycode gets to type `keysym`: a cased letter with its lower case
// first and its upper case second, so that the server gives the key a type that Caps Lock
// selects a level of (one symbol on both levels would be upper-cased under Caps Lock); anything
// else on both levels, so that a held Shift changes nothing.
std::array<Keysym, 2> bindingLevels(Keysym keysym);

// Whether a keysym may share a spare keycode with another, each on a level of its own: one
// without case that no chord names. ASCII and the function and modifier keys stay alone, on both
// levels, so that a chord's Shift changes nothing.
bool mayShareKeycode(Keysym keysym);

}  // namespace quorvel::x11
