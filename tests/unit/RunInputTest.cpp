// Input actions carried out through the whole request: admission focuses the target (one poll,
// so the actions start at t=0.050), then the loop dispatches each action to its case.

#include "DesktopTest.h"

namespace quorvel {
namespace {

class RunInput : public DesktopTest {
  protected:
    void SetUp() override { addFocusedTarget(); }
};

TEST_F(RunInput, ActionsBeforeAnUnsupportedTypeAreCarriedOut) {
    Json reply = runText(R"({"pid": 42, "actions": [
        {"type": "click", "x": 120, "y": 40}, {"type": "bogus", "text": "ab"}]})");
    EXPECT_EQ(reply, Json({{"error", "Unsupported action: bogus"}}));
    EXPECT_EQ(desktop.transcript(),
              "t=0.050 moved (120,40)\n"
              "t=0.170 left-down (120,40) state=1\n"
              "t=0.290 left-up (120,40) state=1\n");
    EXPECT_EQ(desktop.liveEventHandles(), 0);
}

TEST_F(RunInput, EveryInputTypeReachesItsCaseAndTheBatchEndsWithTheObservation) {
    Json reply = runText(R"({"pid": 42, "actions": [
        {"type": "move", "x": 1, "y": 2},
        {"type": "double_click", "x": 3, "y": 4, "button": "right"},
        {"type": "scroll", "x": 5, "y": 6, "scroll_y": 120},
        {"type": "drag", "path": [{"x": 7, "y": 8}]},
        {"type": "keypress", "keys": ["ctrl", "a"]},
        {"type": "type", "text": "h\u00e9"}]})");
    EXPECT_EQ(reply.value("ok", false), true) << reply;
    EXPECT_EQ(desktop.transcript(),
              "t=0.050 moved (1,2)\n"
              "t=0.170 moved (3,4)\n"
              "t=0.290 right-down button=right (3,4) state=1\n"
              "t=0.410 right-up button=right (3,4) state=1\n"
              "t=0.530 right-down button=right (3,4) state=2\n"
              "t=0.650 right-up button=right (3,4) state=2\n"
              "t=0.770 moved (5,6)\n"
              "t=0.890 scroll wheel1=-120 wheel2=0\n"
              "t=1.010 moved (7,8)\n"
              "t=1.130 left-down (7,8)\n"
              "t=1.250 left-dragged (7,8)\n"
              "t=1.370 left-up (7,8)\n"
              "t=1.370 key-down 0 flags=0x40000\n"
              "t=1.490 key-up 0 flags=0x40000\n"
              "t=1.610 key-down 0 flags=0x0 units=0068\n"
              "t=1.615 key-up 0 flags=0x0\n"
              "t=1.615 key-down 0 flags=0x0 units=00E9\n"
              "t=1.620 key-up 0 flags=0x0\n");
    EXPECT_EQ(desktop.liveEventHandles(), 0);
}

TEST_F(RunInput, ThePointerBudgetStartsWithTheLoopAndIsSharedByItsActions) {
    // Palettes (above the layer that focusing looks at) cover both points; the first closes at
    // t=1.05. After a first click that waited 1.0 s and took 0.36 s, the second waits out only
    // what is left of the 2.0 s that began with the loop at t=0.05: 13 steps, to t=2.06.
    desktop.windows.insert(desktop.windows.begin(), windowEntry(7, 3, 500, 500, 50, 50));
    desktop.windows.insert(desktop.windows.begin(), windowEntry(7, 3, 100, 100, 50, 50));
    desktop.at(1050ms, [](MemoryDesktop& d) { d.windows.erase(d.windows.begin()); });
    Json reply = runText(R"({"pid": 42, "actions": [
        {"type": "click", "x": 110, "y": 110}, {"type": "click", "x": 510, "y": 510}]})");
    EXPECT_EQ(reply["error"],
              "Coordinates are not on the target process's topmost visible window. Blocking "
              "window: {\"bounds\":{\"Height\":50.0,\"Width\":50.0,\"X\":500.0,\"Y\":500.0},"
              "\"layer\":3,\"pid\":7}. Observe again before retrying.");
    EXPECT_EQ(desktop.transcript(),
              "t=1.050 moved (110,110)\n"
              "t=1.170 left-down (110,110) state=1\n"
              "t=1.290 left-up (110,110) state=1\n");
    EXPECT_EQ(desktop.now(), 2060ms);
}

// Another driver on the same desktop holds its input: this batch starts when that one ends.
TEST_F(RunInput, ABatchWaitsForAnotherDriversInput) {
    desktop.inputHeldElsewhereUntil = 300ms;
    Json reply = runText(R"({"pid": 42, "actions": [{"type": "click", "x": 120, "y": 40}]})");
    EXPECT_EQ(reply.value("ok", false), true) << reply;
    EXPECT_EQ(desktop.transcript(),
              "t=0.350 moved (120,40)\n"
              "t=0.470 left-down (120,40) state=1\n"
              "t=0.590 left-up (120,40) state=1\n");
    EXPECT_EQ(desktop.activations.size(), 1u);
}

TEST_F(RunInput, ABatchWaitsForAnotherDriversInputNoLongerThanItsDeadline) {
    desktop.inputHeldElsewhereUntil = 1000s;
    Json reply = runText(R"({"pid": 42, "actions": [{"type": "type", "text": "a"}]})");
    EXPECT_EQ(reply,
              Json({{"error", "Computer request deadline exceeded; observe before retrying."}}));
    EXPECT_EQ(desktop.transcript(), "");
    EXPECT_TRUE(desktop.activations.empty());
    EXPECT_EQ(desktop.now(), 240s);
}

}  // namespace
}  // namespace quorvel
