#include "DesktopTest.h"
#include "target/Focus.h"
#include "target/FocusGuard.h"

namespace quorvel {
namespace {

class Focus : public DesktopTest {
  protected:
    static constexpr Pid other = 7;

    void SetUp() override {
        desktop.addApplication(target);
        desktop.addApplication(other);
        desktop.frontmost = other;
        application = desktop.addElement({{"AXRole", "AXApplication"}});
        desktop.setApplicationElement(target, application);
        windowA = desktop.addElement({{"AXRole", "AXWindow"}});
        windowB = desktop.addElement({{"AXRole", "AXWindow"}});
        // Activation alone changes nothing; raising a window brings the target and it forward.
        desktop.onActivate = nullptr;
        desktop.onAction = [](MemoryDesktop& d, ElementId, std::string_view) {
            d.frontmost = target;
            d.windows = Json::array({windowEntry(target, 0, 0, 0, 100, 100)});
        };
        desktop.windows = Json::array({windowEntry(other, 0, 0, 0, 100, 100)});
    }

    std::string focusFailure() {
        return failureOf([&] { focus(runtime, target); });
    }

    ElementId application = 0;
    ElementId windowA = 0;
    ElementId windowB = 0;
};

TEST_F(Focus, ChoosesTheWindowToRaise) {
    struct Case {
        const char* name;
        std::map<std::string, StoredValue> attributes;
        std::string raised;  // "" when nothing is raised
    };
    const Case cases[] = {
        {"focused window",
         {{"AXFocusedWindow", ElementRef{1}}, {"AXMainWindow", ElementRef{2}}},
         "AXRaise 1"},
        {"main window when no focused one", {{"AXMainWindow", ElementRef{2}}}, "AXRaise 2"},
        {"a focused value of another kind skips the main window",
         {{"AXFocusedWindow", "text"},
          {"AXMainWindow", ElementRef{1}},
          {"AXWindows", elementArray({2, 1})}},
         "AXRaise 2"},
        {"first of all windows", {{"AXWindows", elementArray({2, 1})}}, "AXRaise 2"},
        {"empty window list", {{"AXWindows", elementArray({})}}, ""},
        {"a window list with a stranger",
         {{"AXWindows", StoredArray{StoredValue(ElementRef{1}), StoredValue("x")}}},
         ""},
        {"nothing at all", {}, ""},
    };
    for (const Case& c : cases) {
        MemoryDesktop fresh;
        CancellationFlag freshFlag{0};
        Runtime freshRuntime{fresh, freshFlag, {}};
        fresh.addApplication(target);
        fresh.windows = Json::array({windowEntry(target, 0, 0, 0, 100, 100)});
        ElementId app = fresh.addElement(c.attributes);
        fresh.addElement();
        fresh.addElement();
        fresh.setApplicationElement(target, app);
        EXPECT_EQ(failureOf([&] { focus(freshRuntime, target); }), "") << c.name;
        std::vector<std::string> expected;
        if (!c.raised.empty()) {
            expected.push_back(c.raised);
        }
        EXPECT_EQ(fresh.performedActions, expected) << c.name;
        EXPECT_EQ(fresh.activations, std::vector<Pid>{target}) << c.name;
        EXPECT_EQ(fresh.liveElementHandles(), 0) << c.name;
    }
}

TEST_F(Focus, ConfirmsOnTheFirstPollThatSeesTheTargetInFront) {
    desktop.setAttribute(application, "AXFocusedWindow", ElementRef{windowB});
    EXPECT_EQ(focusFailure(), "");
    EXPECT_EQ(desktop.performedActions, std::vector<std::string>{"AXRaise 2"});
    EXPECT_EQ(desktop.slept, 50ms);
}

TEST_F(Focus, FailsAfterFortyPollsWhenTheTargetNeverComesForward) {
    desktop.setAttribute(application, "AXFocusedWindow", ElementRef{windowA});
    desktop.onAction = nullptr;
    EXPECT_EQ(focusFailure(), "Could not raise target window; no input sent");
    EXPECT_EQ(desktop.slept, 2s);
    EXPECT_EQ(desktop.frontmostQueries, 40);
}

TEST_F(Focus, FrontmostTargetBehindAnotherWindowIsNotRaised) {
    desktop.setAttribute(application, "AXFocusedWindow", ElementRef{windowA});
    desktop.onAction = [](MemoryDesktop& d, ElementId, std::string_view) {
        d.frontmost = target;  // but the other process's window stays in front
    };
    EXPECT_EQ(focusFailure(), "Could not raise target window; no input sent");
}

TEST_F(Focus, TargetWithoutWindowsIsRaisedOnceFrontmost) {
    desktop.onActivate = [](MemoryDesktop& d, Pid pid) { d.frontmost = pid; };
    EXPECT_EQ(focusFailure(), "");
    EXPECT_TRUE(desktop.performedActions.empty());
}

TEST_F(Focus, LateConfirmationWithinTheBudget) {
    desktop.setAttribute(application, "AXFocusedWindow", ElementRef{windowA});
    desktop.onAction = nullptr;
    desktop.at(1s, [](MemoryDesktop& d) {
        d.frontmost = target;
        d.windows = Json::array({windowEntry(target, 0, 0, 0, 100, 100)});
    });
    EXPECT_EQ(focusFailure(), "");
    EXPECT_EQ(desktop.slept, 1s);
}

TEST_F(Focus, MissingOrEndedProcessIsRefusedBeforeActivation) {
    EXPECT_EQ(failureOf([&] { focus(runtime, 99); }), "Target process no longer exists");
    desktop.terminateApplication(target);
    EXPECT_EQ(focusFailure(), "Target process no longer exists");
    EXPECT_TRUE(desktop.activations.empty());
}

TEST_F(Focus, CancellationDuringThePollsEndsFocus) {
    desktop.onAction = nullptr;
    desktop.setAttribute(application, "AXFocusedWindow", ElementRef{windowA});
    checkCancellation(runtime);
    desktop.raiseCancellationAt(120ms, flag);
    EXPECT_EQ(focusFailure(), "Computer request cancelled; observe before retrying.");
    EXPECT_EQ(desktop.slept, 150ms);
}

TEST_F(Focus, AlreadyCancelledFindsNoWindowButStillActivatesOnce) {
    desktop.setAttribute(application, "AXFocusedWindow", ElementRef{windowA});
    flag = 1;
    EXPECT_EQ(focusFailure(), "Computer request cancelled; observe before retrying.");
    EXPECT_EQ(desktop.activations, std::vector<Pid>{target});
    EXPECT_TRUE(desktop.performedActions.empty());
    EXPECT_TRUE(desktop.accessibilityCalls.empty());
}

TEST(TargetWindowIsRaised, DecidesFromFrontmostPidAndFirstRecord) {
    const Json mine = Json::array({Json{{"pid", 42}}, Json{{"pid", 7}}});
    const Json theirs = Json::array({Json{{"pid", 7}}, Json{{"pid", 42}}});
    struct Case {
        std::optional<Pid> frontmost;
        Json list;
        HasWindow hasWindow;
        bool raised;
    };
    const Case cases[] = {
        {std::nullopt, mine, HasWindow::Yes, false},
        {7, mine, HasWindow::Yes, false},
        {42, Json::array(), HasWindow::No, true},
        {42, Json::array(), HasWindow::Yes, false},
        {42, mine, HasWindow::Yes, true},
        {42, theirs, HasWindow::Yes, false},
        {42, Json::array({Json::object()}), HasWindow::Yes, false},
        {42, Json::array({Json{{"pid", "42"}}}), HasWindow::Yes, false},
        {42, Json::array({Json{{"pid", 42.0}}}), HasWindow::Yes, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(targetWindowIsRaised(c.frontmost, c.list, 42, c.hasWindow), c.raised)
            << c.list.dump();
    }
    // The largest unsigned pid must not wrap around to pid -1.
    EXPECT_FALSE(
        targetWindowIsRaised(-1, Json::array({Json{{"pid", UINT64_MAX}}}), -1, HasWindow::Yes));
}

TEST_F(Focus, GuardRefusesAnotherOrNoFrontmostApplication) {
    struct Case {
        std::optional<Pid> frontmost;
        const char* error;
    };
    const Case cases[] = {
        {target, ""},
        {other, "Target lost focus; input stopped. Observe again before retrying."},
        {std::nullopt, "Target lost focus; input stopped. Observe again before retrying."},
    };
    for (const Case& c : cases) {
        desktop.frontmost = c.frontmost;
        EXPECT_EQ(failureOf([&] { checkFocus(runtime, target); }), c.error);
    }
    checkCancellation(runtime);
    desktop.sleep(240s);
    desktop.frontmost = target;
    EXPECT_EQ(failureOf([&] { checkFocus(runtime, target); }),
              "Computer request deadline exceeded; observe before retrying.");
}

}  // namespace
}  // namespace quorvel
