#include <limits>

#include "InputTest.h"
#include "input/Actions.h"

namespace quorvel {
namespace {

TEST(Scroll, AMoveThenOnePixelScrollWithBothAmountsNegated) {
    const Json absent;  // null: the key is left out
    const double twoToThe63 = 9223372036854775808.0;
    struct Case {
        Json scrollX;
        Json scrollY;
        const char* wheels;
    };
    const Case cases[] = {
        {absent, 120, "wheel1=-120 wheel2=0"},
        {-40, absent, "wheel1=0 wheel2=40"},
        {absent, absent, "wheel1=0 wheel2=0"},
        {7, -9, "wheel1=9 wheel2=-7"},
        // Only integral numbers count; anything else is 0.
        {absent, 2.5, "wheel1=0 wheel2=0"},
        {absent, 3.0, "wheel1=-3 wheel2=0"},
        {absent, -0.0, "wheel1=0 wheel2=0"},
        {"40", "5", "wheel1=0 wheel2=0"},
        {true, nullptr, "wheel1=0 wheel2=0"},
        {Json::array({1}), Json::object(), "wheel1=0 wheel2=0"},
        // The edges of what the event carries pass unchanged.
        {-2147483647, 2147483648, "wheel1=-2147483648 wheel2=2147483647"},
        // Beyond them an amount is clamped, never wrapped or truncated.
        {-2147483648, 2147483649, "wheel1=-2147483648 wheel2=2147483647"},
        {absent, 5e9, "wheel1=-2147483648 wheel2=0"},
        {absent, -5e9, "wheel1=2147483647 wheel2=0"},
        {absent, 4294967296, "wheel1=-2147483648 wheel2=0"},
        {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::max(),
         "wheel1=-2147483648 wheel2=2147483647"},
        {-twoToThe63, absent, "wheel1=0 wheel2=2147483647"},
        // Integers that do not fit 64 bits are not amounts at all.
        {twoToThe63, std::numeric_limits<std::uint64_t>::max(), "wheel1=0 wheel2=0"},
        {absent, 1e300, "wheel1=0 wheel2=0"},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        Json action = {{"x", 10}, {"y", 20}};
        if (!c.scrollX.is_null()) {
            action["scroll_x"] = c.scrollX;
        }
        if (!c.scrollY.is_null()) {
            action["scroll_y"] = c.scrollY;
        }
        EXPECT_EQ(world.carryOut(scrollAction, action), "") << action;
        EXPECT_EQ(world.desktop.transcript(),
                  "t=0.000 moved (10,20)\nt=0.120 scroll " + std::string(c.wheels) + "\n")
            << action;
        EXPECT_EQ(world.desktop.now(), 240ms);
    }
}

TEST(Scroll, WhatIsPostedWhenAStepFails) {
    struct Case {
        const char* what;
        Script script;
        Json action;
        std::string failure;
        std::string transcript;
    };
    const Case cases[] = {
        {"the scroll event could not be built: the move stays posted",
         [](InputDesktop& w) {
             w.desktop.refuseEvent = [](const MemoryEventData& e) {
                 return e.kind == RecordedEventKind::Scroll;
             };
         },
         {{"x", 10}, {"y", 20}, {"scroll_y", 3}},
         notBuilt,
         "t=0.000 moved (10,20)\n"},
        {"focus lost after the move",
         [](InputDesktop& w) { w.loseFocusAt(100ms); },
         {{"x", 10}, {"y", 20}, {"scroll_y", 3}},
         lostFocus,
         "t=0.000 moved (10,20)\n"},
        {"a covered point: nothing",
         [](InputDesktop& w) {
             w.coverWithOtherWindow();
             w.batch.pointWaitUntil = 0ns;
         },
         {{"x", 150}, {"y", 120}, {"scroll_y", 3}},
         "Coordinates are not on the target process's topmost visible window. Blocking window: "
         "{\"bounds\":{\"Height\":100.0,\"Width\":200.0,\"X\":100.0,\"Y\":100.0},\"layer\":0,"
         "\"pid\":7}. Observe again before retrying.",
         ""},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        c.script(world);
        EXPECT_EQ(world.carryOut(scrollAction, c.action), c.failure) << c.what;
        EXPECT_EQ(world.desktop.transcript(), c.transcript) << c.what;
    }
}

}  // namespace
}  // namespace quorvel
