#pragma once

// Key names as a "keypress" action spells them (upper-cased) and what they stand for: the
// modifier names set event flags, every other name is a virtual key code. The codes name key
// positions of the ANSI keyboard; there are no function keys, punctuation, keypad or modifier
// keys among them.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quorvel {

constexpr std::uint64_t commandFlag = 0x100000;
constexpr std::uint64_t controlFlag = 0x40000;
constexpr std::uint64_t alternateFlag = 0x80000;
constexpr std::uint64_t shiftFlag = 0x20000;

struct NamedKey {
    std::string_view name;
    std::uint16_t code;
};

// clang-format off
inline constexpr std::array<NamedKey, 56> keyCodes{{
    // letters
    {"A", 0}, {"S", 1}, {"D", 2}, {"F", 3}, {"H", 4}, {"G", 5}, {"Z", 6}, {"X", 7}, {"C", 8},
    {"V", 9}, {"B", 11}, {"Q", 12}, {"W", 13}, {"E", 14}, {"R", 15}, {"Y", 16}, {"T", 17},
    {"O", 31}, {"U", 32}, {"I", 34}, {"P", 35}, {"L", 37}, {"J", 38}, {"K", 40}, {"N", 45},
    {"M", 46},
    // digits
    {"1", 18}, {"2", 19}, {"3", 20}, {"4", 21}, {"6", 22}, {"5", 23}, {"9", 25}, {"7", 26},
    {"8", 28}, {"0", 29},
    // named keys; BACKSPACE deletes backwards, DELETE forwards
    {"ENTER", 36}, {"RETURN", 36}, {"TAB", 48}, {"SPACE", 49}, {"BACKSPACE", 51}, {"ESC", 53},
    {"ESCAPE", 53}, {"DELETE", 117}, {"HOME", 115}, {"END", 119}, {"PAGEUP", 116},
    {"PAGEDOWN", 121},
    // arrows
    {"ARROWLEFT", 123}, {"LEFT", 123}, {"ARROWRIGHT", 124}, {"RIGHT", 124}, {"ARROWDOWN", 125},
    {"DOWN", 125}, {"ARROWUP", 126}, {"UP", 126},
}};
// clang-format on

// The flag of a modifier name, already upper-cased ("CMD", "CTRL", "ALT", "SHIFT" and synonyms).
std::optional<std::uint64_t> modifierFlag(std::string_view upperName);

// The virtual key code of an upper-cased name in `keyCodes`.
std::optional<std::uint16_t> keyCode(std::string_view upperName);

}  // namespace quorvel
