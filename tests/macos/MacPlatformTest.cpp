// The macOS platform's own code, driven through whole requests and through its operations on a
// fake of the Apple services: what it makes of the window server's and the accessibility
// answers, the events it posts, and that it releases every object it was handed exactly once.

#include <gtest/gtest.h>

#include <ApplicationServices/ApplicationServices.h>

#include <functional>
#include <string>
#include <vector>

#include "FakeServices.h"
#include "main/Computer.h"
#include "platform/macos/MacPlatform.h"

namespace quorvel {
namespace {

using namespace std::chrono_literals;
using macfake::Nodes;
using macfake::Point;
using macfake::PostedEvent;
using macfake::Services;
using macfake::Size;

constexpr Pid target = 42;

Json window(Pid pid, int number, double x, double y, double width, double height,
            const char* owner) {
    return {{"kCGWindowNumber", number},
            {"kCGWindowOwnerPID", pid},
            {"kCGWindowLayer", 0},
            {"kCGWindowOwnerName", owner},
            {"kCGWindowName", "Untitled"},
            {"kCGWindowBounds", {{"X", x}, {"Y", y}, {"Width", width}, {"Height", height}}},
            {"kCGWindowAlpha", 1.0}};
}

template <class T>
void expectValue(const AttributeValue& value, const T& expected) {
    ASSERT_TRUE(value.as<T>()) << "of another kind";
    EXPECT_EQ(*value.as<T>(), expected);
}

class MacPlatformTest : public testing::Test {
  public:
    MacPlatformTest() { macfake::reset(); }
    ~MacPlatformTest() override { macfake::reset(); }

    Services& desktop = macfake::services();
    MacPlatform platform;

    // An editor (pid 42) behind another application; activating it brings it and its window to
    // the front. Its window holds a text field, which has the focus.
    void addEditor() {
        macfake::Node field{target,
                            {{"AXRole", std::string("AXTextField")},
                             {"AXValue", std::string("Grüße 😀")},
                             {"AXFocused", true},
                             {"AXPosition", Point{120, 140}},
                             {"AXSize", Size{200, 24}}}};
        textField = desktop.addNode(field);
        macfake::Node editorWindow{target,
                                   {{"AXRole", std::string("AXWindow")},
                                    {"AXTitle", std::string("Untitled")},
                                    {"AXPosition", Point{100, 100}},
                                    {"AXSize", Size{800, 600}},
                                    {"AXChildren", Nodes{{textField}}}}};
        editorWindow.onRaise = [this] {
            desktop.windows = Json::array({window(target, 7, 100, 100, 800, 600, "Editor"),
                                           window(99, 3, 0, 0, 1440, 900, "Finder")});
        };
        windowNode = desktop.addNode(editorWindow);
        macfake::NodeId application = desktop.addNode({target,
                                                       {{"AXRole", std::string("AXApplication")},
                                                        {"AXTitle", std::string("Editor")},
                                                        {"AXFocusedWindow", windowNode},
                                                        {"AXWindows", Nodes{{windowNode}}},
                                                        {"AXChildren", Nodes{{windowNode}}},
                                                        {"AXFocusedUIElement", textField}}});
        desktop.apps[target] = {target, application, false, [this] { desktop.frontmost = target; }};
        desktop.apps[99] = {99, -1, false, {}};
        desktop.frontmost = 99;
        desktop.windows = Json::array({window(99, 3, 0, 0, 1440, 900, "Finder"),
                                       window(target, 7, 100, 100, 800, 600, "Editor")});
    }

    Json run(const Json& request) {
        CancellationFlag flag{0};
        Runtime runtime{platform, flag, {}};
        ReplyLine line = ComputerMain::respond(runtime, request.dump());
        platform.releaseInput();
        return Json::parse(line.text);
    }

    // The keyboard events posted, as the text their strings deliver.
    std::vector<const PostedEvent*> posted(std::uint32_t type) const {
        std::vector<const PostedEvent*> found;
        for (const PostedEvent& event : desktop.posted) {
            if (event.type == type) {
                found.push_back(&event);
            }
        }
        return found;
    }

    macfake::NodeId textField = -1;
    macfake::NodeId windowNode = -1;
};

TEST_F(MacPlatformTest, AttributesKeepTheirKindsAndGeometryItsNumbers) {
    struct Case {
        const char* name;
        macfake::Attribute stored;
        std::function<void(const AttributeValue&)> check;
    };
    const Case cases[] = {
        {"text beyond the BMP", std::string("Grüße 😀"),
         [](const AttributeValue& value) { expectValue<std::string>(value, "Grüße 😀"); }},
        {"boolean", true, [](const AttributeValue& value) { expectValue(value, true); }},
        {"integer stays an integer", std::int64_t{1} << 40,
         [](const AttributeValue& value) { expectValue(value, std::int64_t{1} << 40); }},
        {"real", 0.25, [](const AttributeValue& value) { expectValue(value, 0.25); }},
        {"point", Point{-12.5, 3},
         [](const AttributeValue& value) {
             ASSERT_TRUE(value.as<GeometryValue>());
             const GeometryValue& point = *value.as<GeometryValue>();
             EXPECT_EQ(point.kind, GeometryKind::Point);
             EXPECT_TRUE(point.extracted);
             EXPECT_EQ(point.first, -12.5);
             EXPECT_EQ(point.second, 3);
         }},
        {"size", Size{640, 480},
         [](const AttributeValue& value) {
             ASSERT_TRUE(value.as<GeometryValue>());
             const GeometryValue& size = *value.as<GeometryValue>();
             EXPECT_EQ(size.kind, GeometryKind::Size);
             EXPECT_EQ(size.first, 640);
             EXPECT_EQ(size.second, 480);
         }},
        {"rectangle: its kind, no numbers", macfake::Rect{},
         [](const AttributeValue& value) {
             ASSERT_TRUE(value.as<GeometryValue>());
             EXPECT_EQ(value.as<GeometryValue>()->kind, GeometryKind::Rect);
             EXPECT_FALSE(value.as<GeometryValue>()->extracted);
         }},
        {"array of elements, each its own", Nodes{{0, 0}},
         [this](const AttributeValue& value) {
             ASSERT_TRUE(value.as<AttributeArray>());
             const AttributeArray& items = *value.as<AttributeArray>();
             ASSERT_EQ(items.size(), 2U);
             EXPECT_TRUE(platform.elementsEqual(**items[0].as<ElementHandle>(),
                                                **items[1].as<ElementHandle>()));
         }},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        macfake::reset();
        desktop.addNode({target, {{"AXValue", each.stored}}});
        desktop.apps[target] = {target, 0, false, {}};
        {
            ElementHandle application = platform.applicationElement(target);
            std::optional<AttributeValue> value = platform.copyAttribute(*application, "AXValue");
            ASSERT_TRUE(value);
            each.check(*value);
        }
        EXPECT_EQ(macfake::referenceProblems(), std::vector<std::string>{});
    }
}

TEST_F(MacPlatformTest, AReadThatFailsOrOutwaitsItsTimeoutGivesNothingAndReleasesNothing) {
    desktop.addNode({target, {{"AXRole", std::string("AXWindow")}}, 1s});
    desktop.apps[target] = {target, 0, false, {}};
    {
        ElementHandle application = platform.applicationElement(target);
        platform.setMessagingTimeout(*application, 0.1F);
        EXPECT_FALSE(platform.copyAttribute(*application, "AXRole"));
        EXPECT_NEAR(std::chrono::duration<double>(desktop.now).count(), 0.1, 1e-6);
        EXPECT_FALSE(platform.copyAttribute(*application, "AXNoSuchThing"));
        EXPECT_FALSE(platform.copyAttribute(*application, std::string("AX\0Role", 7)));
        ElementHandle absent = platform.applicationElement(7);
        EXPECT_FALSE(platform.copyAttribute(*absent, "AXRole"));
    }
    EXPECT_EQ(macfake::referenceProblems(), std::vector<std::string>{});
}

TEST_F(MacPlatformTest, WindowDictionariesBecomeRecordsOddOnesStayingOdd) {
    struct Case {
        const char* name;
        Json answer;
        Json records;
    };
    Json bounds = {{"X", 10.0}, {"Y", 20.5}, {"Width", 300.0}, {"Height", 200.0}};
    const Case cases[] = {
        {"a whole window: the six keys, integers as integers, bounds as a dictionary",
         Json::array({{{"kCGWindowNumber", 7},
                       {"kCGWindowOwnerPID", 42},
                       {"kCGWindowLayer", 0},
                       {"kCGWindowOwnerName", "Editor"},
                       {"kCGWindowName", "Ünicode"},
                       {"kCGWindowBounds", bounds},
                       {"kCGWindowAlpha", 1.0},
                       {"kCGWindowMemoryUsage", 1024}}}),
         Json::array({{{"kCGWindowNumber", 7},
                       {"kCGWindowOwnerPID", 42},
                       {"kCGWindowLayer", 0},
                       {"kCGWindowOwnerName", "Editor"},
                       {"kCGWindowName", "Ünicode"},
                       {"kCGWindowBounds", bounds}}})},
        {"no name without screen recording; a layer of the wrong type stays so",
         Json::array({{{"kCGWindowNumber", 8}, {"kCGWindowLayer", "0"}, {"kCGWindowBounds", 5}}}),
         Json::array({{{"kCGWindowNumber", 8}, {"kCGWindowLayer", "0"}, {"kCGWindowBounds", 5}}})},
        {"an item that is no dictionary, a value of no JSON kind",
         Json::array({"stray", {{"kCGWindowOwnerPID", nullptr}}}),
         Json::array({"stray", {{"kCGWindowOwnerPID", nullptr}}})},
        {"no answer", nullptr, nullptr},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        macfake::reset();
        desktop.windows = each.answer;
        EXPECT_EQ(platform.windowServerList(), each.records);
        // On-screen windows only, desktop elements excluded, relative to no window.
        EXPECT_EQ(desktop.windowListOptions, std::vector<std::uint32_t>{17});
        EXPECT_EQ(macfake::referenceProblems(), std::vector<std::string>{});
    }
}

TEST_F(MacPlatformTest, RequestsRaiseTheTargetPostTheirEventsAndReleaseEveryObject) {
    // A grapheme of 31 UTF-16 units whose surrogate pair straddles the 20th unit.
    std::string longGrapheme = "a";
    for (int i = 0; i < 18; ++i) {
        longGrapheme += "\u0301";
    }
    longGrapheme += "\U0001D167";
    for (int i = 0; i < 10; ++i) {
        longGrapheme += "\u0301";
    }
    std::string text = "x";
    text += longGrapheme;
    struct Case {
        const char* name;
        Json actions;
        std::function<void(MacPlatformTest&, const Json&)> check;
        // A change to the editor's desktop before the request.
        std::function<void(Services&)> arrange = [](Services&) {};
    };
    const Case cases[] = {
        {"observation", Json::array({{{"type", "inspect"}}}),
         [](MacPlatformTest& test, const Json& reply) {
             EXPECT_EQ(reply["foreground_pid"], 99);
             EXPECT_EQ(reply["windows"].size(), 2U);
             EXPECT_EQ(reply["accessibility_tree"]["AXRole"], "AXApplication");
             EXPECT_EQ(reply["focused_element"]["AXValue"], "Grüße 😀");
             EXPECT_EQ(reply["focused_element"]["AXPosition"], (Json{{"x", 120}, {"y", 140}}));
             EXPECT_TRUE(test.desktop.posted.empty());
         }},
        {"a target that never comes forward",
         Json::array({{{"type", "click"}, {"x", 300}, {"y", 400}}}),
         [](MacPlatformTest& test, const Json& reply) {
             EXPECT_EQ(reply, (Json{{"ok", false},
                                    {"error", "Could not raise target window; no input sent"}}));
             EXPECT_TRUE(test.desktop.posted.empty());
         },
         [](Services& desktop) { desktop.apps[target].onActivate = {}; }},
        {"a point where another window is on top",
         Json::array({{{"type", "click"}, {"x", 1200}, {"y", 800}}}),
         [](MacPlatformTest& test, const Json& reply) {
             EXPECT_TRUE(reply["error"].get<std::string>().starts_with(
                 "Coordinates are not on the target process's topmost visible window."))
                 << reply;
             EXPECT_TRUE(test.posted(kCGEventLeftMouseDown).empty());
         }},
        {"click", Json::array({{{"type", "click"}, {"x", 300}, {"y", 400}}}),
         [](MacPlatformTest& test, const Json& reply) {
             EXPECT_EQ(reply["foreground_pid"], target) << reply;
             EXPECT_EQ(test.desktop.activations, std::vector<Pid>{target});
             ASSERT_FALSE(test.desktop.actions.empty());
             EXPECT_EQ(test.desktop.actions[0],
                       std::make_pair(test.windowNode, std::string("AXRaise")));
             std::vector<std::uint32_t> types;
             for (const PostedEvent& event : test.desktop.posted) {
                 types.push_back(event.type);
                 EXPECT_EQ(event.tap, kCGHIDEventTap);
                 EXPECT_TRUE(event.sourceWasNull);
                 EXPECT_EQ(event.x, 300);
                 EXPECT_EQ(event.y, 400);
             }
             EXPECT_EQ(types, (std::vector<std::uint32_t>{kCGEventMouseMoved, kCGEventLeftMouseDown,
                                                          kCGEventLeftMouseUp}));
             EXPECT_EQ(test.desktop.posted[1].fields.at(kCGMouseEventClickState), 1);
             EXPECT_EQ(test.desktop.posted[2].fields.at(kCGMouseEventClickState), 1);
         }},
        {"chord", Json::array({{{"type", "keypress"}, {"keys", {"cmd", "shift", "z"}}}}),
         [](MacPlatformTest& test, const Json& reply) {
             ASSERT_EQ(reply["ok"], true) << reply;
             ASSERT_EQ(test.desktop.posted.size(), 2U);
             for (const PostedEvent& event : test.desktop.posted) {
                 EXPECT_EQ(event.keyCode, 6);
                 EXPECT_EQ(event.flags, kCGEventFlagMaskCommand | kCGEventFlagMaskShift);
             }
             EXPECT_EQ(test.desktop.posted[0].type, kCGEventKeyDown);
         }},
        {"scroll",
         Json::array(
             {{{"type", "scroll"}, {"x", 300}, {"y", 400}, {"scroll_y", 120}, {"scroll_x", -30}}}),
         [](MacPlatformTest& test, const Json& reply) {
             ASSERT_EQ(reply["ok"], true) << reply;
             std::vector<const PostedEvent*> scrolls = test.posted(kCGEventScrollWheel);
             ASSERT_EQ(scrolls.size(), 1U);
             EXPECT_EQ(scrolls[0]->scrollUnit, kCGScrollEventUnitPixel);
             EXPECT_EQ(scrolls[0]->wheelCount, 2U);
             EXPECT_EQ(scrolls[0]->wheels[0], -120);
             EXPECT_EQ(scrolls[0]->wheels[1], 30);
         }},
        {"a grapheme longer than one event carries",
         Json::array({{{"type", "type"}, {"text", text}}}),
         [&text](MacPlatformTest& test, const Json& reply) {
             ASSERT_EQ(reply["ok"], true) << reply;
             std::u16string delivered;
             std::vector<std::size_t> pieces;
             for (const PostedEvent* down : test.posted(kCGEventKeyDown)) {
                 EXPECT_EQ(down->textOffered, down->text.size()) << "a piece was cut";
                 ASSERT_FALSE(down->text.empty());
                 EXPECT_FALSE(down->text[0] >= 0xDC00 && down->text[0] < 0xE000)
                     << "a pair was split";
                 delivered += down->text;
                 pieces.push_back(down->text.size());
             }
             EXPECT_EQ(delivered, macfake::utf16(text));
             EXPECT_EQ(pieces, (std::vector<std::size_t>{1, 19, 12}));
             EXPECT_EQ(test.posted(kCGEventKeyUp).size(), 3U);
         }},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        macfake::reset();
        addEditor();
        each.arrange(desktop);
        Json reply = run({{"pid", target}, {"actions", each.actions}});
        each.check(*this, reply);
        EXPECT_GT(macfake::objectsHandedOut(), 10U);
        EXPECT_EQ(macfake::referenceProblems(), std::vector<std::string>{});
    }
}

TEST_F(MacPlatformTest, WhatAPostedEventHoldsDownIsLetGoOfOnceAndOnlyOnce) {
    struct Case {
        const char* name;
        Json action;
        std::uint32_t refused;
        std::function<void(const PostedEvent&)> check;
    };
    const Case cases[] = {
        {"a key whose key-up could not be made",
         {{"type", "keypress"}, {"keys", {"return"}}},
         kCGEventKeyUp,
         [](const PostedEvent& release) {
             EXPECT_EQ(release.keyCode, 36);
             EXPECT_EQ(release.flags, 0U);
         }},
        {"a drag whose button-up could not be made",
         {{"type", "drag"}, {"path", {{{"x", 300}, {"y", 400}}, {{"x", 350}, {"y", 420}}}}},
         kCGEventLeftMouseUp,
         [](const PostedEvent& release) {
             EXPECT_EQ(release.x, 350);
             EXPECT_EQ(release.y, 420);
         }},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.name);
        macfake::reset();
        addEditor();
        std::uint32_t refused = each.refused;
        desktop.refuseEvent = [refused](std::uint32_t type) { return type == refused; };
        run({{"pid", target}, {"actions", Json::array({each.action})}});
        EXPECT_TRUE(posted(refused).empty());
        // Once the event can be made, the next release lets go; the one after has nothing left.
        desktop.refuseEvent = [](std::uint32_t) { return false; };
        platform.releaseInput();
        platform.releaseInput();
        ASSERT_EQ(posted(refused).size(), 1U);
        each.check(*posted(refused)[0]);
        EXPECT_EQ(macfake::referenceProblems(), std::vector<std::string>{});
    }
}

TEST(MacFake, SeesAReferenceNeverGivenBackAndOneGivenBackTwice) {
    macfake::reset();
    CFStringRef kept =
        CFStringCreateWithCString(kCFAllocatorDefault, "kept", kCFStringEncodingUTF8);
    CFStringRef twice =
        CFStringCreateWithCString(kCFAllocatorDefault, "twice", kCFStringEncodingUTF8);
    CFRelease(twice);
    CFRelease(twice);
    EXPECT_EQ(macfake::referenceProblems().size(), 2U);
    CFRelease(kept);
    macfake::reset();
}

}  // namespace
}  // namespace quorvel
