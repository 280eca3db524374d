#include "platform/linux/atspi/ApplicationView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "FakeApplication.h"
#include "platform/linux/atspi/ObjectRef.h"
#include "platform/linux/atspi/RoleTable.h"

namespace quorvel::atspi {
namespace {

constexpr int timeoutMilliseconds = 2000;

// A window holding a panel with a list of `listLength` items, a text entry and a button.
std::map<std::string, FakeObject> windowWithList(int listLength) {
    auto role = [](Role each) { return static_cast<std::uint32_t>(each); };
    std::map<std::string, FakeObject> objects;
    objects[applicationPath] = {role(Role::Application), "app", {"/w"}, ""};
    objects["/w"] = {role(Role::Frame), "Window", {"/p"}, ""};
    objects["/p"] = {role(Role::Panel), "", {"/list", "/entry", "/button"}, ""};
    objects["/entry"] = {role(Role::Entry), "", {}, "hello"};
    objects["/button"] = {role(Role::PushButton), "OK", {}, ""};
    FakeObject& list = objects["/list"];
    list.role = role(Role::List);
    for (int index = 0; index < listLength; ++index) {
        std::string path = "/list/" + std::to_string(index);
        list.children.push_back(path);
        objects[path] = {role(Role::PushButton), "item " + std::to_string(index), {}, ""};
    }
    return objects;
}

bool asked(const std::vector<std::string>& calls, const std::string& call) {
    return std::find(calls.begin(), calls.end(), call) != calls.end();
}

// The top of the tree is read as a stream of calls, each sent when the answer it depends on is
// in. Whatever the toolkit: every object reads back whole, a long list is never asked for all
// of its children at once (GTK makes an object per child, stalling for seconds), and nothing is
// asked twice. The list of all objects is asked for only where the toolkit keeps one (not Qt)
// and no object counts many children; without it, the objects at the top are read in the
// stream that counts them.
TEST(ApplicationView, TheTopOfTheTreeIsReadOnceWithoutListingALongList) {
    struct Case {
        const char* toolkit;
        int listLength;
        bool listOfAllObjectsAsked;
    } cases[] = {
        {"Qt", 3, false},
        {"Qt", 300, false},
        {"GTK", 3, true},
        {"GTK", 300, false},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(std::string(each.toolkit) + " list of " + std::to_string(each.listLength));
        FakeApplication application(each.toolkit, windowWithList(each.listLength));
        ASSERT_NE(application.connection(), nullptr);
        std::function<bool()> giveUp = [] { return false; };
        ApplicationView view(application.connection(), ":1.7", giveUp);

        const AccessibleNode* window = view.node("/w", timeoutMilliseconds);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->name, "Window");
        std::optional<std::vector<ObjectRef>> inPanel = view.children("/p", timeoutMilliseconds);
        ASSERT_TRUE(inPanel.has_value());
        EXPECT_EQ(inPanel->size(), 3u);
        const AccessibleNode* button = view.node("/button", timeoutMilliseconds);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->name, "OK");
        EXPECT_TRUE(view.extents("/button", timeoutMilliseconds).has_value());
        EXPECT_EQ(view.text("/entry", timeoutMilliseconds), "hello");
        if (std::string(each.toolkit) == "Qt") {
            // The first reads, then one stream: described, placed and read as counted.
            EXPECT_EQ(view.batchesMade(), 2);
        }
        std::optional<std::vector<ObjectRef>> items = view.children("/list", timeoutMilliseconds);
        ASSERT_TRUE(items.has_value());
        EXPECT_EQ(items->size(), static_cast<std::size_t>(std::min(each.listLength, 128)));
        EXPECT_EQ(view.childrenCut("/list"), each.listLength > 128);

        std::vector<std::string> calls = application.calls();
        EXPECT_EQ(asked(calls, "GetChildren /list"), each.listLength <= 128);
        EXPECT_EQ(asked(calls, "GetItems /org/a11y/atspi/cache"), each.listOfAllObjectsAsked);
        std::set<std::string> distinct;
        for (const std::string& call : calls) {
            EXPECT_TRUE(distinct.insert(call).second) << "asked twice: " << call;
        }
    }
}

}  // namespace
}  // namespace quorvel::atspi
