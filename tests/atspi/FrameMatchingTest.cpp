#include <gtest/gtest.h>

#include <tuple>

#include "platform/linux/atspi/FrameMatching.h"

namespace quorvel::atspi {
namespace {

ServerWindow window(std::uint32_t id, const char* title, Extents outer, Extents client) {
    return ServerWindow{id, title, outer, client};
}

ServerWindow undecorated(std::uint32_t id, const char* title, Extents area) {
    return window(id, title, area, area);
}

struct MatchCase {
    const char* what;
    Extents frame;
    const char* name;
    std::vector<ServerWindow> windows;
    std::optional<FrameMapping> expected;
};

// Frames and windows as the toolkits and the X server reported them.
TEST(FrameMatching, FindsEachToolkitsScaleAndOffset) {
    const ServerWindow gtk4{undecorated(7, "GTK Widget Factory", {100, 50, 1342, 800})};
    const MatchCase cases[] = {
        {"GTK 3 drawing its own decorations, at scale 1",
         {0, 0, 1280, 800},
         "",
         {undecorated(4, "widgets", {0, 0, 1280, 800})},
         FrameMapping{4, 1, 0, 0}},
        {"GTK 3 at scale 2: its units are half pixels, rounded",
         {50, 30, 1367, 742},
         "",
         {undecorated(4, "widgets", {101, 61, 2732, 1482})},
         FrameMapping{4, 2, 0, 0}},
        {"GTK 4: relative to its window, inside a 5-pixel margin",
         {0, 0, 1332, 790},
         "GTK Widget Factory",
         {gtk4},
         FrameMapping{7, 1, 105, 55}},
        {"Qt inside the window manager's frame: its own window fits, the frame does not",
         {414, 240, 452, 334},
         "Line Edits",
         {window(9, "Line Edits", {413, 220, 454, 359}, {414, 240, 452, 334})},
         FrameMapping{9, 1, 0, 0}},
        {"Qt at scale 2",
         {24, 33, 452, 334},
         "Line Edits",
         {window(9, "Line Edits", {47, 46, 906, 693}, {48, 66, 904, 668})},
         FrameMapping{9, 2, 0, 0}},
        {"a frame that fits one window of several",
         {300, 200, 400, 300},
         "",
         {undecorated(1, "", {0, 0, 800, 600}), undecorated(2, "", {300, 200, 400, 300})},
         FrameMapping{2, 1, 0, 0}},
        {"two windows of one size: the title tells",
         {0, 0, 1332, 790},
         "GTK Widget Factory",
         {undecorated(8, "Other", {600, 0, 1342, 800}), gtk4},
         FrameMapping{7, 1, 105, 55}},
        {"two windows of one size and no title to tell: no guess",
         {0, 0, 1332, 790},
         "",
         {undecorated(8, "", {600, 0, 1342, 800}), gtk4},
         std::nullopt},
        {"no window of that size", {0, 0, 300, 200}, "", {gtk4}, std::nullopt},
        {"a frame without a size", {10, 10, 0, 0}, "", {gtk4}, std::nullopt},
    };
    for (const MatchCase& each : cases) {
        SCOPED_TRACE(each.what);
        std::optional<FrameMapping> found = matchFrame(each.frame, each.name, each.windows);
        ASSERT_EQ(found.has_value(), each.expected.has_value());
        if (found) {
            EXPECT_EQ(found->window, each.expected->window);
            EXPECT_EQ(found->scale, each.expected->scale);
            EXPECT_EQ(found->offsetX, each.expected->offsetX);
            EXPECT_EQ(found->offsetY, each.expected->offsetY);
        }
    }
}

TEST(FrameMatching, PlacesRectanglesInTheServersPixels) {
    Extents placed = onServer(FrameMapping{1, 2, 0, 0}, Extents{15, 61, 320, 34});
    EXPECT_EQ(placed.x, 30);
    EXPECT_EQ(placed.y, 122);
    EXPECT_EQ(placed.width, 640);
    EXPECT_EQ(placed.height, 68);
    placed = onServer(FrameMapping{1, 1.5, 105, 55}, Extents{-3, 1, 7, 9});
    EXPECT_EQ(placed.x, 101);  // 105 - 4.5, rounded half away from zero
    EXPECT_EQ(placed.y, 57);   // 55 + 1.5
    EXPECT_EQ(placed.width, 11);
    EXPECT_EQ(placed.height, 14);
}

TEST(FrameMatching, ASpinButtonInARowIsItsTextWithoutTheStepButtons) {
    struct Case {
        Extents spinButton;
        Extents text;
    };
    const Case cases[] = {
        {{238, 650, 232, 68}, {238, 650, 96, 68}},  // GTK 3 at scale 2: "−" begins at 328
        {{119, 325, 116, 34}, {119, 325, 48, 34}},  // the same at scale 1
        {{10, 10, 30, 90}, {10, 10, 30, 90}},       // buttons above and below: as it is
        {{10, 10, 50, 20}, {10, 10, 50, 20}},       // too narrow for two buttons beside text
        {{10, 10, 60, 0}, {10, 10, 60, 0}},         // no height
    };
    for (const Case& each : cases) {
        Extents text = withoutStepButtons(each.spinButton);
        EXPECT_EQ(std::tie(text.x, text.y, text.width, text.height),
                  std::tie(each.text.x, each.text.y, each.text.width, each.text.height))
            << each.spinButton.x << "," << each.spinButton.width;
    }
}

TEST(FrameMatching, AnObjectIsOnScreenOnlyWhereItsWindowIs) {
    const Extents window{414, 240, 452, 334};
    EXPECT_TRUE(overlaps({437, 314, 211, 25}, window));
    EXPECT_TRUE(overlaps({400, 560, 30, 30}, window));           // partly in, at the bottom left
    EXPECT_TRUE(overlaps({500, 300, 0, 0}, window));             // no size, inside
    EXPECT_FALSE(overlaps({0, 25, 756, 25}, window));            // a closed pop-up's row
    EXPECT_FALSE(overlaps({866, 240, 10, 10}, window));          // just right of it
    EXPECT_FALSE(overlaps({413, 239, 1, 1}, window));            // just above the left corner
    EXPECT_FALSE(overlaps({-1, -1, 0, 0}, {0, 19, 1280, 781}));  // Firefox's hidden toolbars
}

}  // namespace
}  // namespace quorvel::atspi
