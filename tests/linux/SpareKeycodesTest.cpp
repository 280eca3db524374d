// Which spare keycodes the driver takes and which it gives back.

#include <gtest/gtest.h>

#include "platform/linux/x11/SpareKeycodes.h"

namespace quorvel::x11 {
namespace {

// The keycodes with no keysym in Xvfb's default keymap.
const std::vector<xcb_keycode_t> xvfbSpare = {8,   93,  97,  103, 120, 132, 149, 154, 168, 178,
                                              183, 184, 197, 202, 217, 219, 222, 230, 248};

TEST(SpareKeycodes, AreChosenInAsFewRunsAsCanBe) {
    const std::vector<xcb_keycode_t> runs = {10, 11, 12, 20, 21, 30};
    struct Case {
        const std::vector<xcb_keycode_t>* spare;
        std::size_t count;
        std::vector<xcb_keycode_t> expected;
    };
    const Case cases[] = {
        {&xvfbSpare, 0, {}},
        {&xvfbSpare, 1, {8}},
        {&xvfbSpare, 2, {183, 184}},
        {&xvfbSpare, 3, {8, 183, 184}},
        {&xvfbSpare, 40, xvfbSpare},
        {&runs, 1, {30}},
        {&runs, 2, {20, 21}},  // the run that fits, keeping the longer one
        {&runs, 3, {10, 11, 12}},
        {&runs, 4, {10, 11, 12, 30}},
        {&runs, 5, {10, 11, 12, 20, 21}},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(chooseSpareKeycodes(*test.spare, test.count), test.expected) << test.count;
    }
}

TEST(SpareKeycodes, RunsAreContiguousAndInOrder) {
    EXPECT_EQ(keycodeRuns({12, 10, 11, 11, 30, 255}),
              (std::vector<KeycodeRun>{{10, 3}, {30, 1}, {255, 1}}));
    EXPECT_EQ(keycodeRuns({}), std::vector<KeycodeRun>{});
    EXPECT_EQ(keycodeRuns({183, 8, 184}), (std::vector<KeycodeRun>{{8, 1}, {183, 2}}));
}

TEST(SpareKeycodes, ARowIsTheDriversOnlyWhileItHoldsNothingButItsBinding) {
    const std::array<Keysym, 2> pair = {'a', 'A'};
    const std::array<Keysym, 2> single = {0x10065E5, 0x10065E5};
    struct Case {
        std::vector<Keysym> row;
        const std::array<Keysym, 2>* levels;
        bool empty;
        bool holdsOnly;
    };
    const Case cases[] = {
        {{0, 0, 0, 0, 0, 0, 0}, &pair, true, false},
        {{'a', 'A', 0, 0, 0, 0, 0}, &pair, false, true},
        // The server repeats a one-group row into the second group's columns.
        {{'a', 'A', 'a', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, &pair, false, true},
        {{0x10065E5, 0x10065E5, 0, 0}, &single, false, true},
        {{0x10065E5, 0x10065E5, 0, 0}, &pair, false, false},
        // Another client bound the key again, or added to it.
        {{'b', 'B', 0, 0}, &pair, false, false},
        {{'a', 'A', 0xFFBE, 0}, &pair, false, false},
        {{}, &pair, true, false},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(rowIsEmpty(test.row), test.empty);
        EXPECT_EQ(rowHoldsOnly(test.row, *test.levels), test.holdsOnly);
    }
}

}  // namespace
}  // namespace quorvel::x11
