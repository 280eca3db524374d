#include <string>

#include "ObservationTest.h"
#include "observe/FocusedElement.h"
#include "observe/Snapshot.h"

namespace quorvel {
namespace {

TEST(FocusedTreeSummary, FindsTheFirstFocusedNodeInPostOrder) {
    struct Case {
        const char* name;
        const char* tree;
        const char* expected;  // "" for nothing
    };
    const Case cases[] = {
        {"a field inside a focused window",
         R"({"AXRole":"AXApplication","children":[{"AXRole":"AXWindow","AXFocused":true,
             "children":[{"AXRole":"AXTextField","AXFocused":true}]}]})",
         R"({"AXRole":"AXTextField","AXFocused":true})"},
        {"the earlier of two focused siblings",
         R"({"children":[{"AXTitle":"x"},{"AXTitle":"first","AXFocused":true},
             {"AXTitle":"second","AXFocused":true}]})",
         R"({"AXTitle":"first","AXFocused":true})"},
        {"a deeper node in an earlier subtree wins over a later shallow one",
         R"({"children":[{"children":[{"children":[{"AXTitle":"deep","AXFocused":true}]}]},
             {"AXTitle":"shallow","AXFocused":true}]})",
         R"({"AXTitle":"deep","AXFocused":true})"},
        {"a focused node is copied without its children, marks kept",
         R"({"children":[{"AXTitle":"list","AXFocused":true,"truncated":true,"cancelled":true,
             "children":[{"AXTitle":"row"}]}]})",
         R"({"AXTitle":"list","AXFocused":true,"truncated":true,"cancelled":true})"},
        {"the root itself", R"({"AXTitle":"root","AXFocused":true})",
         R"({"AXTitle":"root","AXFocused":true})"},
        {"no focus anywhere", R"({"children":[{"AXFocused":false},{"AXTitle":"x"}]})", ""},
        {"focus that is not the boolean true",
         R"({"children":[{"AXFocused":1},{"AXFocused":"true"},{"AXFocused":null}]})", ""},
        {"children that are not all objects are not searched",
         R"({"AXTitle":"root","children":[{"AXFocused":true},1]})", ""},
        {"children that are not all objects leave the node itself",
         R"({"AXTitle":"root","AXFocused":true,"children":[{"AXFocused":true},1]})",
         R"({"AXTitle":"root","AXFocused":true})"},
        {"children that are not an array", R"({"AXTitle":"root","children":{"AXFocused":true}})",
         ""},
        {"a cancelled tree", R"({"cancelled":true})", ""},
        {"a truncated tree", R"({"truncated":true})", ""},
        {"the empty tree", "{}", ""},
    };
    for (const Case& c : cases) {
        std::optional<Json> found = focusedTreeSummary(Json::parse(c.tree));
        if (*c.expected == '\0') {
            EXPECT_FALSE(found) << c.name << ": " << found->dump();
        } else {
            ASSERT_TRUE(found) << c.name;
            EXPECT_EQ(*found, Json::parse(c.expected)) << c.name;
        }
    }
}

class FocusedElementTest : public ObservationTest {
  protected:
    // The two focused-element keys of a snapshot of the target, as one object ({} for neither).
    Json focusedKeys(ElementId application) {
        desktop.setApplicationElement(target, application);
        Json reply = observationSnapshot(runtime, target);
        Json keys = Json::object();
        for (const char* key : {"focused_element", "focused_element_source"}) {
            if (reply.contains(key)) {
                keys[key] = reply[key];
            }
        }
        return keys;
    }
};

TEST_F(FocusedElementTest, PrefersTheApplicationsOwnAnswer) {
    // The walked tree has a focused window with a focused field; the application may name
    // another element, one the walk never summarised.
    ElementId field = node("field", {}, {{"AXFocused", true}, {"AXValue", "hello"}});
    ElementId window = node("window", {field}, {{"AXFocused", true}});
    ElementId elsewhere = node("elsewhere", {node("inner")}, {{"AXFocused", false}});
    struct Case {
        const char* name;
        std::optional<StoredValue> focusedUIElement;
        const char* expected;
    };
    const Case cases[] = {
        {"an element in the tree, summarised afresh", ElementRef{window},
         R"({"focused_element":{"AXTitle":"window","AXFocused":true},
             "focused_element_source":"AXFocusedUIElement"})"},
        {"an element the walk did not reach", ElementRef{elsewhere},
         R"({"focused_element":{"AXTitle":"elsewhere","AXFocused":false},
             "focused_element_source":"AXFocusedUIElement"})"},
        {"absent: the tree decides", std::nullopt,
         R"({"focused_element":{"AXTitle":"field","AXFocused":true,"AXValue":"hello"},
             "focused_element_source":"AXFocused in target tree"})"},
        {"not an element: the tree decides", StoredValue("field"),
         R"({"focused_element":{"AXTitle":"field","AXFocused":true,"AXValue":"hello"},
             "focused_element_source":"AXFocused in target tree"})"},
        {"an array of elements: the tree decides", elementArray({window}),
         R"({"focused_element":{"AXTitle":"field","AXFocused":true,"AXValue":"hello"},
             "focused_element_source":"AXFocused in target tree"})"},
    };
    for (const Case& c : cases) {
        Attributes attributes;
        if (c.focusedUIElement) {
            attributes.emplace("AXFocusedUIElement", *c.focusedUIElement);
        }
        ElementId application = node("app", {window}, attributes);
        EXPECT_EQ(focusedKeys(application), Json::parse(c.expected)) << c.name;
    }
}

TEST_F(FocusedElementTest, WritesNeitherKeyWhenNothingHasFocus) {
    const Json none = Json::object();
    // No node reports focus.
    EXPECT_EQ(focusedKeys(node("app", {node("w", {node("f", {}, {{"AXFocused", false}})})})), none);
    // The only focused node lies beyond the cap of 80 children.
    std::vector<ElementId> rows = leaves(80, "r");
    rows.push_back(node("r81", {}, {{"AXFocused", true}}));
    EXPECT_EQ(focusedKeys(node("app", rows)), none);
    // ... or beyond the depth limit.
    ElementId deepest = node("d17", {}, {{"AXFocused", true}});
    for (int level = 16; level >= 0; --level) {
        deepest = node(titled("d", level), {deepest});
    }
    EXPECT_EQ(focusedKeys(deepest), none);
    // An application that does not answer: the lookup costs one more timeout.
    ElementId silent = node("silent", {}, {{"AXFocused", true}});
    desktop.unresponsive.insert(silent);
    Nanos before = desktop.now();
    EXPECT_EQ(focusedKeys(silent), none);
    EXPECT_NEAR(secondsOf(desktop.now() - before), 0.2 + 0.9 + 0.1, 1e-6);
}

}  // namespace
}  // namespace quorvel
