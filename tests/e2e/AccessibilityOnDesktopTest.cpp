// The accessibility tree and the focused element of real GTK applications, read through AT-SPI
// by the real executable and by the Linux platform, on the virtual desktop.

#include <gtest/gtest.h>

#include <signal.h>

#include <set>
#include <string>

#include "DesktopEnvironment.h"
#include "DriverRun.h"
#include "platform/linux/x11/X11Platform.h"

namespace quorvel::e2e {
namespace {

using namespace std::chrono_literals;

// The editable entry with a clear icon on gtk3-widget-factory's first page.
constexpr double entryX = 170, entryY = 253;

Json batch(std::int32_t pid, Json actions) {
    return {{"pid", pid}, {"actions", std::move(actions)}};
}

// Every role name the role table can give.
const std::set<std::string> knownRoles = {"AXApplication",
                                          "AXWindow",
                                          "AXButton",
                                          "AXMenuButton",
                                          "AXCheckBox",
                                          "AXRadioButton",
                                          "AXStaticText",
                                          "AXTextField",
                                          "AXTextArea",
                                          "AXSlider",
                                          "AXScrollBar",
                                          "AXScrollArea",
                                          "AXProgressIndicator",
                                          "AXLevelIndicator",
                                          "AXBusyIndicator",
                                          "AXComboBox",
                                          "AXPopUpButton",
                                          "AXMenuBar",
                                          "AXMenu",
                                          "AXMenuItem",
                                          "AXList",
                                          "AXTable",
                                          "AXOutline",
                                          "AXCell",
                                          "AXRow",
                                          "AXTabGroup",
                                          "AXToolbar",
                                          "AXSplitGroup",
                                          "AXImage",
                                          "AXLink",
                                          "AXColorWell",
                                          "AXHeading",
                                          "AXWebArea",
                                          "AXHelpTag",
                                          "AXSplitter",
                                          "AXApplicationAlert",
                                          "AXGroup"};

struct TreeFacts {
    int summaries = 0;  // nodes with at least one attribute
    int deepest = 0;
    std::size_t widestChildren = 0;
    int truncated = 0;
    int cancelled = 0;
    std::set<std::string> roles;
};

void survey(const Json& node, int depth, TreeFacts& facts) {
    bool summarised = false;
    for (const auto& [key, value] : node.items()) {
        summarised = summarised || key.rfind("AX", 0) == 0;
    }
    if (summarised) {
        ++facts.summaries;
        facts.deepest = std::max(facts.deepest, depth);
    }
    if (node.contains("AXRole") && node["AXRole"].is_string()) {
        facts.roles.insert(node["AXRole"].get<std::string>());
    }
    facts.truncated += node.value("truncated", false) ? 1 : 0;
    facts.cancelled += node.value("cancelled", false) ? 1 : 0;
    if (node.contains("children")) {
        facts.widestChildren = std::max(facts.widestChildren, node["children"].size());
        for (const Json& child : node["children"]) {
            survey(child, depth + 1, facts);
        }
    }
}

// The first node, in walking order, for which `match` holds.
const Json* findNode(const Json& node, const std::function<bool(const Json&)>& match) {
    if (match(node)) {
        return &node;
    }
    if (node.contains("children")) {
        for (const Json& child : node["children"]) {
            if (const Json* found = findNode(child, match)) {
                return found;
            }
        }
    }
    return nullptr;
}

class AccessibilityOnDesktop : public ::testing::Test {
  protected:
    DriverReply observe(std::int32_t pid, Json actions = Json::array()) {
        DriverReply run = runDriver(batch(pid, std::move(actions)));
        EXPECT_EQ(run.exitStatus, 0) << run.line;
        EXPECT_EQ(run.reply.value("ok", false), true) << run.line;
        EXPECT_EQ(run.errorOutput, "");
        return run;
    }

    SharedDesktop& desktop = shared();
};

TEST_F(AccessibilityOnDesktop, WidgetFactoryTreeKeepsEveryBound) {
    DriverReply run = observe(desktop.widgetFactory);
    const Json& tree = run.reply["accessibility_tree"];
    TreeFacts facts;
    survey(tree, 0, facts);
    // The application holds some 260 objects, the contents of its closed menus among them.
    EXPECT_GT(facts.summaries, 100);
    EXPECT_LE(facts.summaries, 180);
    EXPECT_EQ(facts.cancelled, 0);
    EXPECT_LE(facts.deepest, 16);
    EXPECT_LE(facts.widestChildren, 80u);

    EXPECT_EQ(tree.value("AXRole", ""), "AXApplication");
    EXPECT_EQ(tree.value("AXTitle", ""), "gtk3-widget-factory");
    const Json& window = tree["children"][0];
    EXPECT_EQ(window.value("AXRole", ""), "AXWindow");
    // Its accessible name is empty; the title bar's is not.
    EXPECT_NE(window.value("AXTitle", ""), "");
    EXPECT_TRUE(window.contains("AXPosition"));
    EXPECT_GT(window["AXSize"].value("width", 0.0), 100);

    // A page tab that is selected, and one that is not, as 1 and 0.
    const Json* page1 = findNode(tree, [](const Json& node) {
        return node.value("AXRole", "") == "AXRadioButton" && node.value("AXTitle", "") == "Page 1";
    });
    const Json* page2 = findNode(tree, [](const Json& node) {
        return node.value("AXRole", "") == "AXRadioButton" && node.value("AXTitle", "") == "Page 2";
    });
    ASSERT_TRUE(page1 && page2) << tree.dump();
    EXPECT_EQ((*page1)["AXValue"], 1);
    EXPECT_EQ((*page2)["AXValue"], 0);
    // The items of a closed combo box's menu are not on screen, and not in the tree.
    const Json* hiddenItem =
        findNode(tree, [](const Json& node) { return node.value("AXRole", "") == "AXMenuItem"; });
    EXPECT_EQ(hiddenItem, nullptr) << hiddenItem->dump();
    // A value widget reports its number.
    const Json* slider =
        findNode(tree, [](const Json& node) { return node.value("AXRole", "") == "AXSlider"; });
    ASSERT_NE(slider, nullptr);
    EXPECT_TRUE((*slider)["AXValue"].is_number());
}

TEST_F(AccessibilityOnDesktop, TypedTextIsTheFocusedFieldsValue) {
    DriverReply run =
        observe(desktop.widgetFactory, {{{"type", "click"}, {"x", entryX}, {"y", entryY}},
                                        {{"type", "keypress"}, {"keys", {"ctrl", "a"}}},
                                        {{"type", "keypress"}, {"keys", {"backspace"}}},
                                        {{"type", "type"}, {"text", "Grüße 日本"}}});
    EXPECT_EQ(run.reply.value("focused_element_source", ""), "AXFocusedUIElement") << run.line;
    const Json& focused = run.reply["focused_element"];
    EXPECT_EQ(focused.value("AXRole", ""), "AXTextField");
    EXPECT_EQ(focused.value("AXValue", ""), "Grüße 日本");
    EXPECT_EQ(focused.value("AXFocused", false), true);
    const Json& position = focused["AXPosition"];
    const Json& size = focused["AXSize"];
    EXPECT_LE(position.value("x", 1e9), entryX);
    EXPECT_GE(position.value("x", 0.0) + size.value("width", 0.0), entryX);
    // The same field in the tree is the one focused node there.
    const Json* inTree = findNode(run.reply["accessibility_tree"],
                                  [](const Json& node) { return node.value("AXFocused", false); });
    ASSERT_NE(inTree, nullptr);
    EXPECT_EQ(inTree->value("AXValue", ""), "Grüße 日本");
}

TEST_F(AccessibilityOnDesktop, HundredsOfObjectsStayWithinTheBudget) {
    // gtk3-demo's list of demos is a tree table of several hundred cells.
    DriverReply run = observe(desktop.demo);
    TreeFacts facts;
    survey(run.reply["accessibility_tree"], 0, facts);
    EXPECT_EQ(facts.summaries, 180);
    EXPECT_GE(facts.truncated, 1);
    EXPECT_TRUE(facts.roles.count("AXCell")) << run.line;
    EXPECT_TRUE(facts.roles.count("AXOutline"));
}

TEST_F(AccessibilityOnDesktop, AnApplicationThatStopsAnsweringStillGetsAReply) {
    std::int32_t frozen = desktop.desktop->startApp("gtk3-widget-factory");
    ASSERT_GT(frozen, 0);
    ASSERT_EQ(kill(frozen, SIGSTOP), 0);
    DriverReply run = runDriver(batch(frozen, Json::array()));
    kill(frozen, SIGCONT);
    kill(frozen, SIGTERM);
    EXPECT_EQ(run.exitStatus, 0) << run.line;
    EXPECT_EQ(run.reply.value("ok", false), true);
    EXPECT_TRUE(run.reply["accessibility_tree"].is_object());
    EXPECT_FALSE(run.reply.contains("focused_element"));
    // Each unanswered read waits 0.1 s; the application is then left alone.
    EXPECT_LT(run.elapsed, 5s);
}

TEST_F(AccessibilityOnDesktop, RoleTableCoversTheRolesGtkShows) {
    // Every object of both applications, not only the first 180 (the menus are closed: their
    // items are left out).
    X11Platform platform;
    std::set<std::string> roles;
    std::function<void(const Element&, int)> visit = [&](const Element& element, int depth) {
        std::optional<AttributeValue> role = platform.copyAttribute(element, "AXRole");
        if (role && role->as<std::string>()) {
            roles.insert(*role->as<std::string>());
        }
        std::optional<AttributeValue> children = platform.copyAttribute(element, "AXChildren");
        if (depth >= 30 || !children || !children->as<AttributeArray>()) {
            return;
        }
        for (const AttributeValue& child : *children->as<AttributeArray>()) {
            if (const ElementHandle* handle = child.as<ElementHandle>(); handle && *handle) {
                visit(**handle, depth + 1);
            }
        }
    };
    for (std::int32_t pid : {desktop.widgetFactory, desktop.demo}) {
        ElementHandle application = platform.applicationElement(pid);
        ASSERT_NE(application, nullptr);
        visit(*application, 0);
    }
    for (const std::string& role : roles) {
        EXPECT_TRUE(knownRoles.count(role)) << role;
    }
    for (const char* expected :
         {"AXApplication",    "AXWindow",        "AXButton",     "AXCheckBox",
          "AXRadioButton",    "AXStaticText",    "AXTextField",  "AXTextArea",
          "AXSlider",         "AXScrollBar",     "AXScrollArea", "AXProgressIndicator",
          "AXLevelIndicator", "AXBusyIndicator", "AXComboBox",   "AXPopUpButton",
          "AXTabGroup",       "AXOutline",       "AXCell",       "AXImage",
          "AXGroup"}) {
        EXPECT_TRUE(roles.count(expected)) << expected;
    }
}

}  // namespace
}  // namespace quorvel::e2e
