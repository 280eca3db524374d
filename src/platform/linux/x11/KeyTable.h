#pragma once

// How the driver's key vocabulary becomes X keys: the virtual key codes of the ANSI keyboard
// layout that key chords name, the modifier flags, and the characters of typed text, each as
// the keysym to press.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace quorvel::x11 {

using Keysym = std::uint32_t;

// The keysym of a virtual key code (A is 0, RETURN 36, LEFT 123...), if the driver knows it.
std::optional<Keysym> keysymForVirtualKey(std::uint16_t virtualKey);

// The modifier keys that the flags ask for, in the order they are pressed: Control_L for
// 0x40000, Shift_L for 0x20000, Alt_L for 0x80000 and Super_L for 0x100000.
std::vector<Keysym> modifierKeysyms(std::uint64_t flags);

// The keysym that types each code point of UTF-16 text, in order: line breaks, tab, backspace,
// escape and delete as their function keys, Latin-1 as itself and the rest of Unicode as the
// keysym 0x1000000 + code point. An unpaired surrogate types U+FFFD.
std::vector<Keysym> keysymsForText(std::u16string_view text);

// Wheel clicks for a pixel amount: one click per 50 pixels, rounded to the nearest, at least one
// for any amount that is not 0, at most 2000. A GTK view moves about height^(2/3) pixels per
// click: 38 for a 233-pixel view, 71 for a 598-pixel one; 50 is the middle of common views.
std::uint32_t wheelClicks(std::int64_t pixels);

}  // namespace quorvel::x11
