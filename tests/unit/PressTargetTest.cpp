// The window at a press is asked about again right before the press, and a point off every
// display belongs to nobody: a pop-up that appears after the point was accepted, or a window
// that reaches beyond the screen, never receives what was meant for the target.

#include "InputTest.h"
#include "input/Actions.h"
#include "input/Drag.h"
#include "target/FocusGuard.h"

namespace quorvel {
namespace {

const std::string blocked =
    "Coordinates are not on the target process's topmost visible window. Blocking window: ";
const std::string observeAgain = ". Observe again before retrying.";
const std::string popupSummary = R"({"bounds":{"Height":100.0,"Width":200.0,"X":100.0,"Y":100.0},)"
                                 R"("layer":101,"pid":7})";

Json at(double x, double y) {
    return {{"x", x}, {"y", y}};
}

// A pop-up of another application over (100,100 200x100) from `when` on.
void popUpAt(InputDesktop& world, Nanos when) {
    world.desktop.at(when, [](MemoryDesktop& desktop) {
        desktop.windows.insert(desktop.windows.begin(), windowEntry(7, 101, 100, 100, 200, 100));
    });
}

TEST(PressTarget, APopUpThatAppearsAfterThePointWasAcceptedGetsNoPress) {
    struct Case {
        const char* what;
        ActionCase action;
        Json object;
        Nanos popUp;
        std::string transcript;  // what was posted before the refusal
    };
    const Json drag = {{"path", {at(150, 150), at(160, 150)}}};
    const Json scroll = {{"x", 150}, {"y", 150}, {"scroll_y", 30}};
    const Case cases[] = {
        {"click", clickAction, at(150, 150), 50ms, "t=0.000 moved (150,150)\n"},
        {"second press of a double click", doubleClickAction, at(150, 150), 300ms,
         "t=0.000 moved (150,150)\n"
         "t=0.120 left-down (150,150) state=1\n"
         "t=0.240 left-up (150,150) state=1\n"},
        {"drag", dragAction, drag, 50ms, "t=0.000 moved (150,150)\n"},
        {"scroll", scrollAction, scroll, 50ms, "t=0.000 moved (150,150)\n"},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        popUpAt(world, c.popUp);
        EXPECT_EQ(world.carryOut(c.action, c.object), blocked + popupSummary + observeAgain)
            << c.what;
        EXPECT_EQ(world.desktop.transcript(), c.transcript) << c.what;
    }
}

TEST(PressTarget, APointOffEveryDisplayBelongsToNobody) {
    // Two displays of different heights side by side; the target's window covers both and more.
    struct Case {
        const char* what;
        ScreenPoint point;
        bool accepted;
    };
    const Case cases[] = {
        {"on the first display", {100, 700}, true},
        {"on the second display, below the first one's bottom", {1400, 900}, true},
        {"left of the first display", {-50, 40}, false},
        {"above both", {100, -1}, false},
        {"under the shorter display", {100, 800}, false},
        {"on the shorter display's bottom edge", {100, 768}, false},
        {"right of the second display", {3286, 40}, false},
        {"the last pixel of the second display", {3285.9, 1079.9}, true},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        world.desktop.windows =
            Json::array({windowEntry(InputDesktop::target, 0, -200, -200, 4000, 2000)});
        world.desktop.displays = {{0, 0, 1366, 768}, {1366, 0, 1920, 1080}};
        std::string failure = world.carryOut(clickAction, at(c.point.x, c.point.y));
        if (c.accepted) {
            EXPECT_EQ(failure, "") << c.what;
        } else {
            // Nothing is there to be named: the pointer cannot reach the point.
            EXPECT_EQ(failure, blocked + "{}" + observeAgain) << c.what;
            EXPECT_EQ(world.desktop.transcript(), "") << c.what;
        }
    }
}

TEST(PressTarget, AFrontmostQueryGivenUpBecauseTheRequestEndedSaysWhyItEnded) {
    struct Case {
        const char* what;
        bool cancelDuringQuery;
        bool passDeadlineDuringQuery;
        std::string failure;
    };
    const Case cases[] = {
        {"no answer, request live", false, false, lostFocus},
        {"cancelled while asked", true, false, cancelled},
        {"deadline passed while asked", false, true, pastDeadline},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        checkCancellation(world.runtime);  // the deadline: 240 s from t=0
        world.desktop.frontmost.reset();
        world.desktop.frontmostQueryTakes = 240s;
        if (c.cancelDuringQuery) {
            world.desktop.frontmostQueryTakes = 1s;
            world.desktop.raiseCancellationAt(500ms, world.flag);
        } else if (!c.passDeadlineDuringQuery) {
            world.desktop.frontmostQueryTakes = 1s;
        }
        EXPECT_EQ(failureOf([&] { checkFocus(world.runtime, InputDesktop::target); }), c.failure)
            << c.what;
    }
}

}  // namespace
}  // namespace quorvel
