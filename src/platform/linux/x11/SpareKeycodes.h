#pragma once

// The rules for borrowing spare keycodes (keycodes with no keysym at all) to type what the
// keymap lacks: which to take, which to put back, and in how many changes. Each change of the
// keyboard mapping makes the window manager grab all its keys again, and a change covers one
// contiguous run of keycodes, so the fewer runs the better; and a key that the driver did not
// bind, or that another client has rebound since, is never written.

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/linux/x11/KeyTable.h"

namespace quorvel::x11 {

struct KeycodeRun {
    xcb_keycode_t first = 0;
    std::uint8_t count = 0;
    bool operator==(const KeycodeRun&) const = default;
};

// The contiguous runs of `keycodes`, in order, each keycode once.
std::vector<KeycodeRun> keycodeRuns(std::vector<xcb_keycode_t> keycodes);

// `count` keycodes of `spare` (or all of them when there are fewer) in as few runs as can be:
// the longest runs first, and of the runs that can end the choice the shortest, to keep the
// long ones for later.
std::vector<xcb_keycode_t> chooseSpareKeycodes(const std::vector<xcb_keycode_t>& spare,
                                               std::size_t count);

// A keycode's row of a core keyboard mapping, as read.
bool rowIsEmpty(std::span<const Keysym> row);
// Whether the row holds the driver's binding still: no keysym but the two it wrote, at least
// one of them. The server may have repeated them into more columns since.
bool rowHoldsOnly(std::span<const Keysym> row, const std::array<Keysym, 2>& levels);

}  // namespace quorvel::x11
