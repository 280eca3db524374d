#include <stdexcept>
#include <vector>

#include "InputTest.h"
#include "input/Actions.h"
#include "input/Drag.h"

namespace quorvel {
namespace {

Json pathOf(std::initializer_list<std::pair<double, double>> points) {
    Json path = Json::array();
    for (auto [x, y] : points) {
        path.push_back({{"x", x}, {"y", y}});
    }
    return Json{{"path", path}};
}

TEST(DispatchDragPath, TheReleaseRunsAtTheLastPointReachedOnEveryPath) {
    const std::vector<ScreenPoint> path = {{1, 1}, {2, 2}, {3, 3}};
    struct Case {
        const char* what;
        int failingStep;  // 0: none
        bool failsWithFailure;
        std::vector<std::string> calls;
    };
    const Case cases[] = {
        {"complete walk", 0, true, {"move 1", "move 2", "move 3", "release 3"}},
        {"first step fails", 1, true, {"move 1", "release 0"}},
        {"third step fails", 3, true, {"move 1", "move 2", "move 3", "release 2"}},
        {"a step fails with something other than a Failure",
         2,
         false,
         {"move 1", "move 2", "release 1"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> calls;
        auto move = [&](ScreenPoint p) {
            calls.push_back("move " + std::to_string(int(p.x)));
            if (int(p.x) == c.failingStep) {
                if (c.failsWithFailure) {
                    fail("step failed");
                }
                throw std::runtime_error("step broke");
            }
        };
        auto release = [&](ScreenPoint p) {
            calls.push_back("release " + std::to_string(int(p.x)));
        };
        std::string outcome;
        try {
            dispatchDragPath(path, {0, 0}, move, release);
        } catch (const Failure& failure) {
            outcome = failure.message;
        } catch (const std::runtime_error& error) {
            outcome = error.what();
        }
        EXPECT_EQ(calls, c.calls) << c.what;
        EXPECT_EQ(outcome, c.failingStep == 0   ? ""
                           : c.failsWithFailure ? "step failed"
                                                : "step broke")
            << c.what;
    }
}

TEST(Drag, PressMoveThroughEveryPointAndReleaseAtTheLast) {
    struct Case {
        const char* what;
        Json action;
        std::string transcript;
        Nanos endsAt;
    };
    const Case cases[] = {
        {"one point", pathOf({{5, 6}}),
         "t=0.000 moved (5,6)\n"
         "t=0.120 left-down (5,6)\n"
         "t=0.240 left-dragged (5,6)\n"
         "t=0.360 left-up (5,6)\n",
         360ms},
        {"three points, other keys of the objects ignored",
         Json{{"path", Json::array({{{"x", 10}, {"y", 10}, {"button", "right"}},
                                    {{"x", 20.5}, {"y", 15}},
                                    {{"x", 30}, {"y", 20}}})}},
         "t=0.000 moved (10,10)\n"
         "t=0.120 left-down (10,10)\n"
         "t=0.240 left-dragged (10,10)\n"
         "t=0.360 left-dragged (20.5,15)\n"
         "t=0.480 left-dragged (30,20)\n"
         "t=0.600 left-up (30,20)\n",
         600ms},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        EXPECT_EQ(world.carryOut(dragAction, c.action), "") << c.what;
        EXPECT_EQ(world.desktop.transcript(), c.transcript) << c.what;
        EXPECT_EQ(world.desktop.now(), c.endsAt) << c.what;
    }
}

TEST(Drag, ThePathIsCheckedWholeBeforeAnyEvent) {
    struct Case {
        const char* what;
        Json action;
        std::string failure;
    };
    const Case cases[] = {
        {"no path", Json::object(), "drag needs path"},
        {"empty path", Json{{"path", Json::array()}}, "drag needs path"},
        {"pairs instead of objects", Json{{"path", Json::array({{1, 2}, {3, 4}})}},
         "drag needs path"},
        {"one element not an object", Json{{"path", Json::array({{{"x", 1}, {"y", 2}}, nullptr})}},
         "drag needs path"},
        {"path as an object", Json{{"path", {{"x", 1}, {"y", 2}}}}, "drag needs path"},
        {"the last element lacks y",
         Json{{"path", Json::array({{{"x", 1}, {"y", 2}}, {{"x", 3}, {"y", 4}}, {{"x", 5}}})}},
         "x and y required"},
        {"the last point is covered", pathOf({{10, 10}, {150, 120}}),
         "Coordinates are not on the target process's topmost visible window. Blocking window: "
         "{\"bounds\":{\"Height\":100.0,\"Width\":200.0,\"X\":100.0,\"Y\":100.0},\"layer\":0,"
         "\"pid\":7}. Observe again before retrying."},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        world.coverWithOtherWindow();
        EXPECT_EQ(world.carryOut(dragAction, c.action), c.failure) << c.what;
        EXPECT_EQ(world.desktop.transcript(), "") << c.what;
    }
}

TEST(Drag, TheStartIsCheckedAgainAfterThePath) {
    // A window of another process comes over the start point while the path is being checked:
    // the second look at the start waits for it and gives up, before any event.
    InputDesktop world;
    world.coverWithOtherWindow();
    world.desktop.windows.erase(world.desktop.windows.begin());
    world.desktop.windows.insert(world.desktop.windows.begin(),
                                 windowEntry(InputDesktop::other, 0, 500, 500, 10, 10));
    world.desktop.at(1s, [](MemoryDesktop& d) { d.windows.erase(d.windows.begin()); });
    world.desktop.at(1s, [](MemoryDesktop& d) {
        d.windows.insert(d.windows.begin(), windowEntry(InputDesktop::other, 0, 0, 0, 20, 20));
    });
    std::string failure = world.carryOut(dragAction, pathOf({{10, 10}, {505, 505}}));
    EXPECT_NE(failure.find("\"Width\":20.0"), std::string::npos) << failure;
    EXPECT_EQ(world.desktop.transcript(), "");
}

TEST(Drag, OnceTheButtonIsDownItIsReleasedBeforeAFailureIsPassedOn) {
    struct Case {
        const char* what;
        Script script;
        std::string failure;
        std::string transcript;
    };
    const std::string fivePoints =
        "t=0.000 moved (1,1)\n"
        "t=0.120 left-down (1,1)\n";
    const Case cases[] = {
        {"focus lost after the second of five dragged moves",
         [](InputDesktop& w) { w.loseFocusAt(400ms); }, lostFocus,
         fivePoints + "t=0.240 left-dragged (1,1)\n"
                      "t=0.360 left-dragged (2,2)\n"
                      "t=0.480 left-up (2,2)\n"},
        {"cancelled before the first dragged move: released at the start",
         [](InputDesktop& w) { w.desktop.raiseCancellationAt(200ms, w.flag); }, cancelled,
         fivePoints + "t=0.240 left-up (1,1)\n"},
        {"the deadline passes mid-drag as the focus goes: the deadline is reported",
         [](InputDesktop& w) {
             checkCancellation(w.runtime);  // the deadline falls at t=240
             w.desktop.sleep(240s - 360ms);
             w.loseFocusAt(240s);
         },
         pastDeadline,
         "t=239.640 moved (1,1)\n"
         "t=239.760 left-down (1,1)\n"
         "t=239.880 left-dragged (1,1)\n"
         "t=240.000 left-up (1,1)\n"},
        {"a dragged move could not be built",
         [](InputDesktop& w) {
             w.desktop.refuseEvent = [](const MemoryEventData& e) {
                 return e.mouseType == MouseEventType::LeftDragged && e.position.x == 3;
             };
         },
         notBuilt,
         fivePoints + "t=0.240 left-dragged (1,1)\n"
                      "t=0.360 left-dragged (2,2)\n"
                      "t=0.480 left-up (2,2)\n"},
        {"the press could not be built: nothing to release",
         [](InputDesktop& w) {
             w.desktop.refuseEvent = [](const MemoryEventData& e) {
                 return e.mouseType == MouseEventType::LeftDown;
             };
         },
         notBuilt, "t=0.000 moved (1,1)\n"},
        {"focus lost before the press: nothing to release",
         [](InputDesktop& w) { w.loseFocusAt(100ms); }, lostFocus, "t=0.000 moved (1,1)\n"},
        {"the release could not be built: the drag still succeeds",
         [](InputDesktop& w) {
             w.desktop.refuseEvent = [](const MemoryEventData& e) {
                 return e.mouseType == MouseEventType::LeftUp;
             };
         },
         "",
         fivePoints + "t=0.240 left-dragged (1,1)\n"
                      "t=0.360 left-dragged (2,2)\n"
                      "t=0.480 left-dragged (3,3)\n"
                      "t=0.600 left-dragged (4,4)\n"
                      "t=0.720 left-dragged (5,5)\n"},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        c.script(world);
        EXPECT_EQ(world.carryOut(dragAction, pathOf({{1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}})),
                  c.failure)
            << c.what;
        EXPECT_EQ(world.desktop.transcript(), c.transcript) << c.what;
    }
}

}  // namespace
}  // namespace quorvel
