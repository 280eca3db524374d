#include <cmath>
#include <limits>

#include "InputTest.h"
#include "target/Point.h"

namespace quorvel {
namespace {

Json record(Json pid, Json bounds, std::int64_t layer = 0) {
    return Json{{"window_id", 1}, {"pid", std::move(pid)}, {"layer", layer},
                {"app", ""},      {"title", ""},           {"bounds", std::move(bounds)}};
}

Json rect(double x, double y, double width, double height) {
    return Json{{"X", x}, {"Y", y}, {"Width", width}, {"Height", height}};
}

const std::string refusalStart =
    "Coordinates are not on the target process's topmost visible window. Blocking window: ";
const std::string refusalEnd = ". Observe again before retrying.";

TEST(OwnsTopmostPoint, TheFirstWindowContainingThePointDecides) {
    const Pid target = 42;
    const Json targetWindow = record(target, rect(0, 0, 800, 600));
    const Json otherAbove = record(7, rect(100, 100, 50, 50), 25);
    struct Case {
        const char* what;
        Json windows;
        ScreenPoint position;
        bool owned;
    };
    const Case cases[] = {
        {"inside", Json::array({targetWindow}), {400, 300}, true},
        {"on the minimum edges", Json::array({targetWindow}), {0, 0}, true},
        {"on the right edge", Json::array({targetWindow}), {800, 10}, false},
        {"on the bottom edge", Json::array({targetWindow}), {10, 600}, false},
        {"over no window", Json::array({targetWindow}), {-1, 10}, false},
        {"no windows at all", Json::array(), {10, 10}, false},
        {"under another process's window",
         Json::array({otherAbove, targetWindow}),
         {120, 120},
         false},
        {"beside another process's window",
         Json::array({otherAbove, targetWindow}),
         {99, 120},
         true},
        {"the target's window above another one of its own",
         Json::array({record(target, rect(0, 0, 10, 10), 101), targetWindow}),
         {5, 5},
         true},
        {"the target's window below another process's, first one decides",
         Json::array({record(7, rect(0, 0, 10, 10)), targetWindow, targetWindow}),
         {5, 5},
         false},
        {"empty bounds do not block",
         Json::array({record(7, Json::object()), targetWindow}),
         {5, 5},
         true},
        {"bounds missing a key do not block",
         Json::array({record(7, {{"X", 0}, {"Y", 0}, {"Width", 900}}), targetWindow}),
         {5, 5},
         true},
        {"bounds holding text do not block",
         Json::array(
             {record(7, {{"X", "0"}, {"Y", 0}, {"Width", 900}, {"Height", 900}}), targetWindow}),
         {5, 5},
         true},
        {"bounds that are not an object do not block",
         Json::array({record(7, Json::array({0, 0, 900, 900})), targetWindow}),
         {5, 5},
         true},
        {"a record without bounds does not block",
         Json::array({Json{{"pid", 7}}, targetWindow}),
         {5, 5},
         true},
        {"a record that is not an object does not block",
         Json::array({7, targetWindow}),
         {5, 5},
         true},
        {"integral bounds",
         Json::array({record(target, {{"X", 0}, {"Y", 0}, {"Width", 10}, {"Height", 10}})}),
         {9.5, 9.5},
         true},
        {"an empty rectangle holds nothing",
         Json::array({record(target, rect(5, 5, 0, 10))}),
         {5, 6},
         false},
        {"a negative width reaches left of the origin",
         Json::array({record(target, rect(800, 0, -800, 600))}),
         {10, 10},
         true},
        {"a pid written as text is not the target",
         Json::array({record("42", rect(0, 0, 10, 10))}),
         {5, 5},
         false},
        {"a fractional pid is not the target",
         Json::array({record(42.0, rect(0, 0, 10, 10))}),
         {5, 5},
         false},
        {"a record without pid is nobody's",
         Json::array({Json{{"bounds", rect(0, 0, 10, 10)}}}),
         {5, 5},
         false},
        {"the list is not an array", Json{{"pid", 42}}, {5, 5}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ownsTopmostPoint(c.windows, c.position, target), c.owned) << c.what;
    }
    // A huge unsigned pid must not wrap around into a negative target.
    EXPECT_FALSE(ownsTopmostPoint(
        Json::array({record(std::numeric_limits<std::uint64_t>::max(), rect(0, 0, 10, 10))}),
        {5, 5}, -1));
}

TEST(Point, APointOnTheTargetIsAcceptedAtOnceWithoutWaitingOrAskingForTheFocus) {
    InputDesktop world;
    ScreenPoint p = point(world.batch, Json{{"x", 120.5}, {"y", 40}});
    EXPECT_EQ(p.x, 120.5);
    EXPECT_EQ(p.y, 40);
    EXPECT_EQ(world.desktop.slept, 0ns);
    EXPECT_EQ(world.desktop.frontmostQueries, 0);
    EXPECT_EQ(world.desktop.windowListQueries, 1);
}

TEST(Point, CoordinatesMustBeFiniteNumbersAndAreCheckedBeforeAnyWindowIsListed) {
    const double infinity = std::numeric_limits<double>::infinity();
    const Json actions[] = {
        Json::object(),
        {{"x", 1}},
        {{"y", 1}},
        {{"x", "1"}, {"y", 1}},
        {{"x", 1}, {"y", nullptr}},
        {{"x", true}, {"y", 1}},
        {{"x", infinity}, {"y", 1}},
        {{"x", 1}, {"y", std::nan("")}},
        Json::array({1, 2}),
    };
    for (const Json& action : actions) {
        InputDesktop world;
        EXPECT_EQ(failureOf([&] { point(world.batch, action); }), "x and y required") << action;
        EXPECT_EQ(world.desktop.windowListQueries, 0);
    }
}

TEST(Point, ACoveredPointIsRefusedAfterTheBudgetNamingTheWindowInTheWay) {
    InputDesktop world;
    world.desktop.windows.insert(world.desktop.windows.begin(),
                                 windowEntry(7, 3, 100, 100, 200, 100, 9, "Palette", "Tools"));
    EXPECT_EQ(failureOf([&] {
                  point(world.batch, Json{{"x", 150}, {"y", 120}});
              }),
              refusalStart +
                  "{\"bounds\":{\"Height\":100.0,\"Width\":200.0,\"X\":100.0,\"Y\":100.0},"
                  "\"layer\":3,\"pid\":7}" +
                  refusalEnd);
    // 40 wait steps of 0.05 s, each after a focus check and followed by a fresh list.
    EXPECT_EQ(world.desktop.now(), 2s);
    EXPECT_EQ(world.desktop.frontmostQueries, 40);
    EXPECT_EQ(world.desktop.windowListQueries, 41);
}

TEST(Point, TheRefusalNamesOnlyPidLayerAndBoundsOrNothing) {
    const Json bigSquare = {{"X", 0}, {"Y", 0}, {"Width", 900}, {"Height", 900}};
    Json notUtf8 = bigSquare;
    notUtf8["Name"] = "\xff";
    struct Case {
        const char* what;
        Json windows;
        std::string summary;
    };
    const Case cases[] = {
        {"no window at all", Json::array(), "{}"},
        {"just past the target's right edge", Json::array({windowEntry(42, 0, 0, 0, 150, 600)}),
         "{}"},
        {"a window entry holding only its bounds",
         Json::array({Json{{"kCGWindowBounds", bigSquare}}}),
         "{\"bounds\":{\"Height\":900,\"Width\":900,\"X\":0,\"Y\":0},\"layer\":0,\"pid\":0}"},
        {"a window of another process, name and title left out",
         Json::array({windowEntry(7, 101, 0, 0, 900, 900, 5, "Menu", "File")}),
         "{\"bounds\":{\"Height\":900.0,\"Width\":900.0,\"X\":0.0,\"Y\":0.0},\"layer\":101,"
         "\"pid\":7}"},
        {"bounds carrying text that is not UTF-8",
         Json::array({Json{{"kCGWindowOwnerPID", 7}, {"kCGWindowBounds", notUtf8}}}), "{}"},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        world.desktop.windows = c.windows;
        EXPECT_EQ(failureOf([&] {
                      point(world.batch, Json{{"x", 150}, {"y", 120}});
                  }),
                  refusalStart + c.summary + refusalEnd)
            << c.what;
    }
}

TEST(Point, TheFirstWaitSpendsTheBudgetOfTheWholeBatch) {
    InputDesktop world;
    MemoryDesktop& desktop = world.desktop;
    // The window over the first point closes just as the budget runs out; the one over the
    // second point stays.
    world.coverWithOtherWindow();
    desktop.windows.insert(desktop.windows.begin(), windowEntry(7, 0, 500, 500, 10, 10));
    desktop.at(2s, [](MemoryDesktop& d) { d.windows.erase(d.windows.begin() + 1); });
    point(world.batch, Json{{"x", 150}, {"y", 120}});
    EXPECT_EQ(desktop.now(), 2s);

    int listsBefore = desktop.windowListQueries;
    int focusChecksBefore = desktop.frontmostQueries;
    std::string refusal = failureOf([&] { point(world.batch, Json{{"x", 505}, {"y", 505}}); });
    EXPECT_EQ(refusal, refusalStart +
                           "{\"bounds\":{\"Height\":10.0,\"Width\":10.0,\"X\":500.0,\"Y\":500.0},"
                           "\"layer\":0,\"pid\":7}" +
                           refusalEnd);
    EXPECT_EQ(desktop.windowListQueries - listsBefore, 1);
    EXPECT_EQ(desktop.frontmostQueries - focusChecksBefore, 0);
    EXPECT_EQ(desktop.now(), 2s);
}

TEST(Point, APointFreedWithinTheBudgetIsAcceptedAtTheFirstStepThatSeesIt) {
    InputDesktop world;
    world.coverWithOtherWindow(25);
    world.desktop.at(300ms, [](MemoryDesktop& d) { d.windows.erase(d.windows.begin()); });
    point(world.batch, Json{{"x", 150}, {"y", 120}});
    EXPECT_EQ(world.desktop.now(), 300ms);
    EXPECT_EQ(world.desktop.windowListQueries, 7);
}

TEST(Point, AWaitStepEndsThePointWhenTheRequestMayNotGoOn) {
    struct Case {
        const char* what;
        Script script;
        std::string failure;
    };
    const Case cases[] = {
        {"focus lost", [](InputDesktop& w) { w.loseFocusAt(120ms); }, lostFocus},
        {"no frontmost application",
         [](InputDesktop& w) {
             w.desktop.at(120ms, [](MemoryDesktop& d) { d.frontmost.reset(); });
         },
         lostFocus},
        {"cancelled", [](InputDesktop& w) { w.desktop.raiseCancellationAt(120ms, w.flag); },
         cancelled},
        {"deadline passed while the focus is lost too",
         [](InputDesktop& w) {
             w.passDeadline();
             w.batch.pointWaitUntil = w.desktop.now() + 2s;
             w.loseFocusAt(w.desktop.now());
         },
         pastDeadline},
    };
    for (const Case& c : cases) {
        InputDesktop world;
        world.coverWithOtherWindow();
        c.script(world);
        EXPECT_EQ(failureOf([&] {
                      point(world.batch, Json{{"x", 150}, {"y", 120}});
                  }),
                  c.failure)
            << c.what;
    }
}

}  // namespace
}  // namespace quorvel
