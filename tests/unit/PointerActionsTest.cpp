#include "InputTest.h"
#include "input/Actions.h"

namespace quorvel {
namespace {

struct Case {
    const char* what;
    ActionCase action;
    Json object;
    Script script;
    std::string failure;
    std::string transcript;
    Nanos endsAt;
};

void check(const Case& c) {
    InputDesktop world;
    c.script(world);
    EXPECT_EQ(world.carryOut(c.action, c.object), c.failure) << c.what;
    EXPECT_EQ(world.desktop.transcript(), c.transcript) << c.what;
    EXPECT_EQ(world.desktop.now(), c.endsAt) << c.what;
}

const Json at120x40 = {{"x", 120}, {"y", 40}};

Json with(Json object, const char* key, Json value) {
    object[key] = std::move(value);
    return object;
}

const std::string leftClick =
    "t=0.000 moved (120,40)\n"
    "t=0.120 left-down (120,40) state=1\n"
    "t=0.240 left-up (120,40) state=1\n";

TEST(PointerActions, EventsAndPausesOfEachAction) {
    const Case cases[] = {
        {"move",
         moveAction,
         {{"x", 120.5}, {"y", 40.25}},
         noScript,
         "",
         "t=0.000 moved (120.5,40.25)\n",
         120ms},
        {"move ignores a button", moveAction, with(at120x40, "button", "right"), noScript, "",
         "t=0.000 moved (120,40)\n", 120ms},
        {"click", clickAction, at120x40, noScript, "", leftClick, 360ms},
        {"right click", clickAction, with(at120x40, "button", "right"), noScript, "",
         "t=0.000 moved (120,40)\n"
         "t=0.120 right-down button=right (120,40) state=1\n"
         "t=0.240 right-up button=right (120,40) state=1\n",
         360ms},
        {"RIGHT in capitals is left", clickAction, with(at120x40, "button", "RIGHT"), noScript, "",
         leftClick, 360ms},
        {"middle is left", clickAction, with(at120x40, "button", "middle"), noScript, "", leftClick,
         360ms},
        {"a number is left", clickAction, with(at120x40, "button", 1), noScript, "", leftClick,
         360ms},
        {"double click", doubleClickAction, at120x40, noScript, "",
         "t=0.000 moved (120,40)\n"
         "t=0.120 left-down (120,40) state=1\n"
         "t=0.240 left-up (120,40) state=1\n"
         "t=0.360 left-down (120,40) state=2\n"
         "t=0.480 left-up (120,40) state=2\n",
         600ms},
        {"right double click", doubleClickAction, with(at120x40, "button", "right"), noScript, "",
         "t=0.000 moved (120,40)\n"
         "t=0.120 right-down button=right (120,40) state=1\n"
         "t=0.240 right-up button=right (120,40) state=1\n"
         "t=0.360 right-down button=right (120,40) state=2\n"
         "t=0.480 right-up button=right (120,40) state=2\n",
         600ms},
    };
    for (const Case& c : cases) {
        check(c);
    }
}

TEST(PointerActions, WhatIsPostedWhenAStepFails) {
    const Case cases[] = {
        {"focus lost after the first release of a double click: no second press", doubleClickAction,
         at120x40, [](InputDesktop& w) { w.loseFocusAt(300ms); }, lostFocus,
         "t=0.000 moved (120,40)\n"
         "t=0.120 left-down (120,40) state=1\n"
         "t=0.240 left-up (120,40) state=1\n",
         360ms},
        {"focus lost during the move's pause: the move only", clickAction, at120x40,
         [](InputDesktop& w) { w.loseFocusAt(60ms); }, lostFocus, "t=0.000 moved (120,40)\n",
         120ms},
        {"cancelled before the press", clickAction, at120x40,
         [](InputDesktop& w) { w.desktop.raiseCancellationAt(60ms, w.flag); }, cancelled,
         "t=0.000 moved (120,40)\n", 120ms},
        {"the press could not be built: no press, no release", clickAction, at120x40,
         [](InputDesktop& w) {
             w.desktop.refuseEvent = [](const MemoryEventData& e) {
                 return e.mouseType == MouseEventType::LeftDown;
             };
         },
         notBuilt, "t=0.000 moved (120,40)\n", 120ms},
        {"the press could not be built and the focus is gone: the focus is reported", clickAction,
         at120x40,
         [](InputDesktop& w) {
             w.loseFocusAt(60ms);
             w.desktop.refuseEvent = [](const MemoryEventData& e) {
                 return e.mouseType == MouseEventType::LeftDown;
             };
         },
         lostFocus, "t=0.000 moved (120,40)\n", 120ms},
        {"the move could not be built", moveAction, at120x40,
         [](InputDesktop& w) {
             w.desktop.refuseEvent = [](const MemoryEventData& e) {
                 return e.mouseType == MouseEventType::Moved;
             };
         },
         notBuilt, "", 0ns},
        {"the release could not be built: skipped, and its pause still follows", doubleClickAction,
         at120x40,
         [](InputDesktop& w) {
             w.desktop.refuseEvent = [](const MemoryEventData& e) {
                 return e.mouseType == MouseEventType::LeftUp;
             };
         },
         "",
         "t=0.000 moved (120,40)\n"
         "t=0.120 left-down (120,40) state=1\n"
         "t=0.360 left-down (120,40) state=2\n",
         600ms},
        {"a covered point: not even the move",
         clickAction,
         {{"x", 150}, {"y", 120}},
         [](InputDesktop& w) { w.coverWithOtherWindow(); },
         "Coordinates are not on the target process's topmost visible window. Blocking window: "
         "{\"bounds\":{\"Height\":100.0,\"Width\":200.0,\"X\":100.0,\"Y\":100.0},\"layer\":0,"
         "\"pid\":7}. Observe again before retrying.",
         "",
         2s},
        {"no coordinates", clickAction, {{"x", 1}}, noScript, "x and y required", "", 0ns},
    };
    for (const Case& c : cases) {
        check(c);
    }
}

}  // namespace
}  // namespace quorvel
