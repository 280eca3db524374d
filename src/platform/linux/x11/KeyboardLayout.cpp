#include "platform/linux/x11/KeyboardLayout.h"

#include <algorithm>
#include <cstring>

#include "platform/linux/x11/XcbXkb.h"

namespace quorvel::x11 {

namespace {

constexpr Keysym unicodeKeysymBase = 0x1000000;
constexpr xkb_keycode_t highestXKeycode = 255;

}  // namespace

KeyboardLayout::KeyboardLayout(XkbKeymapPtr keymap, const LockState& state)
    : keymap_(std::move(keymap)), state_(state) {}

void KeyboardLayout::setState(const LockState& state) {
    if (!(state == state_)) {
        state_ = state;
        indexed_ = false;
    }
}

void KeyboardLayout::useLatches() {
    LockState used = state_;
    used.latchedMods = 0;
    used.latchedGroup = 0;
    setState(used);
}

void KeyboardLayout::index() {
    indexed_ = true;
    positions_.clear();
    if (!keymap_) {
        return;
    }
    xkb_mod_index_t shiftIndex = xkb_keymap_mod_get_index(keymap_.get(), XKB_MOD_NAME_SHIFT);
    xkb_keycode_t last = std::min(xkb_keymap_max_keycode(keymap_.get()), highestXKeycode);
    for (bool shifted : {false, true}) {
        if (shifted && shiftIndex == XKB_MOD_INVALID) {
            break;
        }
        XkbStatePtr state(xkb_state_new(keymap_.get()));
        if (!state) {
            return;
        }
        // The server's groups are signed; the library takes them as they come and wraps the sum.
        xkb_state_update_mask(state.get(), shifted ? 1u << shiftIndex : 0, state_.latchedMods,
                              state_.lockedMods, static_cast<xkb_layout_index_t>(state_.baseGroup),
                              static_cast<xkb_layout_index_t>(state_.latchedGroup),
                              state_.lockedGroup);
        for (xkb_keycode_t keycode = xkb_keymap_min_keycode(keymap_.get()); keycode <= last;
             ++keycode) {
            // One keysym, after the Caps Lock transformation that applications apply too.
            xkb_keysym_t keysym = xkb_state_key_get_one_sym(state.get(), keycode);
            if (keysym != XKB_KEY_NoSymbol) {
                positions_.try_emplace(keysym,
                                       KeyPosition{static_cast<xcb_keycode_t>(keycode), shifted});
            }
        }
    }
}

std::optional<KeyPosition> KeyboardLayout::find(Keysym keysym) {
    if (!indexed_) {
        index();
    }
    auto found = positions_.find(keysym);
    if (found == positions_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<xcb_keycode_t> KeyboardLayout::shiftKey() {
    for (Keysym name : {Keysym{XKB_KEY_Shift_L}, Keysym{XKB_KEY_Shift_R}}) {
        std::optional<KeyPosition> key = find(name);
        if (!key || key->shifted) {
            continue;
        }
        // The modifier map, not the keysym, makes a key set Shift.
        XkbStatePtr probe(xkb_state_new(keymap_.get()));
        if (probe && xkb_state_update_key(probe.get(), key->keycode, XKB_KEY_DOWN) != 0 &&
            xkb_state_mod_name_is_active(probe.get(), XKB_MOD_NAME_SHIFT,
                                         XKB_STATE_MODS_DEPRESSED) > 0) {
            return key->keycode;
        }
    }
    return std::nullopt;
}

KeyboardEvent decodeKeyboardEvent(const xcb_generic_event_t& event,
                                  std::optional<std::uint8_t> xkbFirstEvent, std::uint8_t device) {
    KeyboardEvent result;
    result.sequence = event.full_sequence;
    std::uint8_t type = event.response_type & 0x7F;
    if (type == XCB_MAPPING_NOTIFY) {
        xcb_mapping_notify_event_t mapping;
        std::memcpy(&mapping, &event, sizeof mapping);
        if (mapping.request != XCB_MAPPING_POINTER) {
            result.kind = KeyboardEvent::Kind::MapChanged;
        }
        return result;
    }
    if (!xkbFirstEvent || type != *xkbFirstEvent || event.response_type == 0) {
        return result;
    }
    // Every XKB event starts alike: its kind, the time and the device.
    xcb_xkb_state_notify_event_t notify;
    static_assert(sizeof notify <= sizeof event);
    std::memcpy(&notify, &event, sizeof notify);
    if (notify.deviceID != device) {
        return result;
    }
    switch (notify.xkbType) {
        case XCB_XKB_NEW_KEYBOARD_NOTIFY:
        case XCB_XKB_MAP_NOTIFY:
            result.kind = KeyboardEvent::Kind::MapChanged;
            break;
        case XCB_XKB_STATE_NOTIFY:
            result.kind = KeyboardEvent::Kind::StateChanged;
            result.state = {notify.latchedMods, notify.lockedMods, notify.baseGroup,
                            notify.latchedGroup, notify.lockedGroup};
            break;
        default:
            break;
    }
    return result;
}

Keysym namedKeysym(Keysym keysym) {
    if (keysym >= unicodeKeysymBase + 0x100 && keysym <= unicodeKeysymBase + 0x10FFFF) {
        xkb_keysym_t named = xkb_utf32_to_keysym(keysym - unicodeKeysymBase);
        if (named != XKB_KEY_NoSymbol) {
            return named;
        }
    }
    return keysym;
}

std::array<Keysym, 2> bindingLevels(Keysym keysym) {
    Keysym named = namedKeysym(keysym);
    Keysym lower = xkb_keysym_to_lower(named);
    Keysym upper = xkb_keysym_to_upper(named);
    // A pair only when each is the other's case: a title-case letter has neither as itself.
    if (lower != upper && (named == lower || named == upper) &&
        xkb_keysym_to_upper(lower) == upper && xkb_keysym_to_lower(upper) == lower) {
        return {lower, upper};
    }
    return {named, named};
}

bool mayShareKeycode(Keysym keysym) {
    constexpr Keysym firstFunctionKeysym = 0xFD00;
    constexpr Keysym lastFunctionKeysym = 0xFFFF;
    std::array<Keysym, 2> levels = bindingLevels(keysym);
    return keysym >= 0x80 && (keysym < firstFunctionKeysym || keysym > lastFunctionKeysym) &&
           levels[0] == levels[1];
}

}  // namespace quorvel::x11
