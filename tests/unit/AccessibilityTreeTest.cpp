#include <string>

#include "ObservationTest.h"

namespace quorvel {
namespace {

using AccessibilityTreeTest = ObservationTest;

TEST_F(AccessibilityTreeTest, TheFocusedWindowIsWalkedFirst) {
    std::vector<ElementId> windows = leaves(7, "w");
    ElementId application = node("app", windows);
    struct Case {
        const char* name;
        StoredValue focusedWindow;
        std::vector<ElementId> children;
        const char* expectedOrder;
    };
    ElementId stranger = node("stranger");
    const Case cases[] = {
        {"the sixth of seven", ElementRef{windows[5]}, windows, "w6 w1 w2 w3 w4 w5 w7"},
        {"already first", ElementRef{windows[0]}, windows, "w1 w2 w3 w4 w5 w6 w7"},
        {"the last", ElementRef{windows[6]}, windows, "w7 w1 w2 w3 w4 w5 w6"},
        {"only the first equal child moves",
         ElementRef{windows[2]},
         {windows[0], windows[2], windows[1], windows[2]},
         "w3 w1 w2 w3"},
        {"not among the children", ElementRef{stranger}, windows, "w1 w2 w3 w4 w5 w6 w7"},
        {"not an element", "w6", windows, "w1 w2 w3 w4 w5 w6 w7"},
        {"an array holding it", elementArray({windows[5]}), windows, "w1 w2 w3 w4 w5 w6 w7"},
    };
    for (const Case& c : cases) {
        desktop.setChildren(application, c.children);
        desktop.setAttribute(application, "AXFocusedWindow", c.focusedWindow);
        std::string order;
        Json walked = walk(application);
        for (const Json& child : walked["children"]) {
            if (!order.empty()) {
                order += ' ';
            }
            order += child["AXTitle"].get<std::string>();
        }
        EXPECT_EQ(order, c.expectedOrder) << c.name;
    }
}

TEST_F(AccessibilityTreeTest, AFocusedWindowBeyondTheCapIsWalked) {
    std::vector<ElementId> windows = leaves(90, "w");
    ElementId application = node("app", windows, {{"AXFocusedWindow", ElementRef{windows[84]}}});
    Json children = walk(application)["children"];
    ASSERT_EQ(children.size(), 80u);
    EXPECT_EQ(children[0], Json({{"AXTitle", "w85"}}));
    EXPECT_EQ(children[79], Json({{"AXTitle", "w79"}}));
}

TEST_F(AccessibilityTreeTest, OnlyAnArrayOfElementsGivesChildren) {
    ElementId a = node("a");
    ElementId b = node("b");
    struct Case {
        const char* name;
        StoredValue children;
        const char* expectedAtDepth0;
        const char* expectedAtDepth16;
    };
    const Case cases[] = {
        {"elements", elementArray({a, b}),
         R"({"AXTitle":"p","children":[{"AXTitle":"a"},{"AXTitle":"b"}]})",
         R"({"AXTitle":"p","truncated":true})"},
        {"an empty array", StoredArray{}, R"({"AXTitle":"p"})", R"({"AXTitle":"p"})"},
        {"an element among other values", StoredArray{ElementRef{a}, "b", ElementRef{b}},
         R"({"AXTitle":"p"})", R"({"AXTitle":"p"})"},
        {"a single element", ElementRef{a}, R"({"AXTitle":"p"})", R"({"AXTitle":"p"})"},
        {"text", "a, b", R"({"AXTitle":"p"})", R"({"AXTitle":"p"})"},
    };
    for (const Case& c : cases) {
        ElementId parent = node("p", {}, {{"AXChildren", c.children}});
        EXPECT_EQ(walk(parent), Json::parse(c.expectedAtDepth0)) << c.name;
        EXPECT_EQ(walk(parent, 16), Json::parse(c.expectedAtDepth16)) << c.name;
    }
}

TEST_F(AccessibilityTreeTest, EverySummarisedElementHasBothChildAttributesRead) {
    // Nine reads per node: seven for the summary, then AXChildren and AXFocusedWindow, also for
    // leaves and for nodes at the depth limit.
    ElementId root = node("root", {node("a", {node("a1"), node("a2", {node("deep")})}), node("b")});
    int left = 0;
    Json result = walk(root, 15, 180, &left);
    EXPECT_EQ(result, Json::parse(R"({"AXTitle":"root","children":[
        {"AXTitle":"a","truncated":true},{"AXTitle":"b"}]})"));
    EXPECT_EQ(left, 177);
    EXPECT_EQ(readsOf("AXChildren"), 3);
    EXPECT_EQ(readsOf("AXFocusedWindow"), 3);
    EXPECT_EQ(desktop.accessibilityCalls.size(), 3u * 9u * 2u);  // each read after its timeout
}

TEST_F(AccessibilityTreeTest, AnUnresponsiveElementIsAnEmptyRecordAfterNineTimeouts) {
    ElementId silent = node("silent", {node("never read")});
    ElementId root = node("root", {node("a"), silent, node("b")});
    desktop.unresponsive.insert(silent);
    int left = 0;
    EXPECT_EQ(walk(root, 0, 180, &left),
              Json::parse(R"({"AXTitle":"root","children":[{"AXTitle":"a"},{},{"AXTitle":"b"}]})"));
    EXPECT_EQ(left, 176);
    EXPECT_NEAR(secondsOf(desktop.now()), 0.9, 1e-6);
}

TEST_F(AccessibilityTreeTest, TheDeadlineStopsTheWalkWhereItIs) {
    // The slow element's reads wait 0.1 s each; the deadline passes during its fourth read.
    ElementId slow = node("slow", {node("below")});
    ElementId root = node("root", {node("a"), slow, node("b"), node("c")});
    desktop.unresponsive.insert(slow);
    runtime.deadline.at(desktop);  // t=0, so the deadline is at 240 s
    desktop.sleep(requestTimeLimit - 350ms);
    EXPECT_EQ(walk(root), Json::parse(R"({"AXTitle":"root","cancelled":true,
                                          "children":[{"AXTitle":"a"},{"cancelled":true}]})"));
    EXPECT_EQ(readsOf("AXTitle"), 3);  // root, a, slow: b and c are never reached
    EXPECT_NEAR(secondsOf(desktop.now()), 240.05, 1e-6);
}

TEST_F(AccessibilityTreeTest, TheFlagStopsTheWalkWhereItIs) {
    ElementId slow = node("slow");
    ElementId root = node("root", {node("a", {slow, node("a2")}), node("b")});
    desktop.unresponsive.insert(slow);
    desktop.raiseCancellationAt(250ms, flag);  // during the slow element's third read
    EXPECT_EQ(walk(root), Json::parse(R"({"AXTitle":"root","cancelled":true,"children":[
        {"AXTitle":"a","cancelled":true,"children":[{"cancelled":true}]}]})"));
    EXPECT_EQ(readsOf("AXRole"), 3);
    EXPECT_NEAR(secondsOf(desktop.now()), 0.3, 1e-6);
}

TEST_F(AccessibilityTreeTest, AWalkStartedAfterCancellationReadsNothing) {
    ElementId root = node("root", {node("a")});
    flag = 1;
    int left = 0;
    EXPECT_EQ(walk(root, 0, 180, &left), Json::parse(R"({"cancelled":true})"));
    EXPECT_EQ(left, 180);
    EXPECT_TRUE(desktop.accessibilityCalls.empty());
}

}  // namespace
}  // namespace quorvel
