// The driver on the applications a Linux desktop runs besides GTK 3: Qt 5 and 6, GTK 4, the two
// browsers and LibreOffice, each from Debian's packages on a desktop of its own, and GTK 3, GTK 4
// and Qt at scale 2. Each is observed, clicked at the centre the tree gives for a text field and
// typed into; the text must come back through the application's own accessible text.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "../e2e/ExpectReply.h"
#include "../e2e/Requests.h"
#include "../e2e/TreeNodes.h"
#include "../e2e/VirtualDesktop.h"

namespace quorvel::e2e {
namespace {

struct Application {
    const char* name;  // as scripts/launch-app.sh knows it
    int scale;
    // The field typed into: the first with this role, and this title when one is given (the
    // document of Writer is a text area too, titled, and its paragraphs are not).
    const char* fieldRole;
    const char* fieldTitle;
};

std::string launchCommand(const Application& application) {
    std::string command = shellQuoted(std::string(QUORVEL_SOURCE_DIR) + "/scripts/launch-app.sh");
    command += ' ';
    command += application.name;
    if (application.scale != 1) {
        command = "env QUORVEL_APP_SCALE=" + std::to_string(application.scale) + ' ' + command;
    }
    return command;
}

struct Rect {
    double x, y, width, height;
    bool operator==(const Rect&) const = default;
    bool holds(double px, double py) const {
        return px >= x && py >= y && px < x + width && py < y + height;
    }
};

std::optional<Rect> rectOf(const Json& node) {
    if (!node.contains("AXPosition") || !node.contains("AXSize")) {
        return std::nullopt;
    }
    return Rect{node["AXPosition"].value("x", 0.0), node["AXPosition"].value("y", 0.0),
                node["AXSize"].value("width", 0.0), node["AXSize"].value("height", 0.0)};
}

std::vector<Rect> windowsOf(const Json& reply, std::int32_t pid) {
    std::vector<Rect> windows;
    for (const Json& window : reply.value("windows", Json::array())) {
        if (window.value("pid", 0) == pid) {
            const Json& bounds = window["bounds"];
            windows.push_back({bounds.value("X", 0.0), bounds.value("Y", 0.0),
                               bounds.value("Width", 0.0), bounds.value("Height", 0.0)});
        }
    }
    return windows;
}

// The field's place, once the application has laid it out on screen (a page loads late).
std::optional<Rect> findField(const Application& application, const Json& tree) {
    std::optional<Rect> found;
    forEachNode(tree, [&](const Json& node) {
        std::optional<Rect> rect = rectOf(node);
        if (found || !rect || rect->width < 4 || rect->height < 4 ||
            node.value("AXRole", "") != application.fieldRole ||
            (application.fieldTitle && node.value("AXTitle", "") != application.fieldTitle)) {
            return;
        }
        // On the 1280×800 screen: a window at scale 2 reaches beyond it.
        if (rect->x + rect->width / 2 < 1280 && rect->y + rect->height / 2 < 800) {
            found = rect;
        }
    });
    return found;
}

class ToolkitsOnDesktop : public testing::TestWithParam<Application> {};

TEST_P(ToolkitsOnDesktop, ObservedTrulyClickedAtTheTreesCentreAndTypedIntoExactly) {
    const Application& application = GetParam();
    VirtualDesktop desktop({launchCommand(application)});
    ASSERT_TRUE(desktop.started());
    ASSERT_EQ(desktop.appPids().size(), 1u);
    std::int32_t pid = desktop.appPids()[0];

    // Applications build their accessible objects after their window shows, and lay it out
    // more than once (Writer adds a bar above its document): observe until the field is in the
    // same place twice, a bounded number of times.
    Json reply;
    std::optional<Rect> field;
    std::optional<Rect> before;
    for (int attempt = 0; attempt < 40 && !(field && before && *field == *before); ++attempt) {
        before = field;
        reply = expectOk(batch(pid, Json::array({pause()}))).reply;
        field = findField(application, reply.value("accessibility_tree", Json::object()));
    }
    ASSERT_TRUE(field) << reply.dump();
    EXPECT_EQ(kill(pid, 0), 0) << "the observation harmed the application";

    // Every node that has a place is inside one of the application's windows: the toolkit's
    // units became the server's pixels.
    std::vector<Rect> windows = windowsOf(reply, pid);
    ASSERT_FALSE(windows.empty());
    int placed = 0;
    forEachNode(reply["accessibility_tree"], [&](const Json& node) {
        std::optional<Rect> rect = rectOf(node);
        if (!rect || rect->width <= 0 || rect->height <= 0) {
            return;
        }
        ++placed;
        double cx = rect->x + rect->width / 2;
        double cy = rect->y + rect->height / 2;
        bool inside = false;
        for (const Rect& window : windows) {
            inside = inside || window.holds(cx, cy);
        }
        EXPECT_TRUE(inside) << node.dump();
    });
    EXPECT_GT(placed, 5);

    // The click alone first: what has the focus then is what was clicked, before typing makes
    // the application lay its window out anew (Writer shows a bar above the document).
    double x = field->x + field->width / 2;
    double y = field->y + field->height / 2;
    Json focused =
        expectOk(batch(pid, Json::array({click(x, y)}))).reply.value("focused_element", Json());
    std::optional<Rect> focusedRect = rectOf(focused);
    ASSERT_TRUE(focusedRect) << focused.dump();
    // Writer moves its document down a bar's height once it is clicked: the paragraph is then
    // known by its size.
    bool moved = focusedRect->width == field->width && focusedRect->height == field->height;
    EXPECT_TRUE(focusedRect->holds(x, y) || moved)
        << "the click landed elsewhere: " << focused.dump();

    const std::string text = "Grüße 日本 é";
    focused = expectOk(batch(pid, Json::array({keys({"CTRL", "A"}), type(text)})))
                  .reply.value("focused_element", Json());
    // Some applications update their accessible text a moment after the keys.
    for (int attempt = 0; attempt < 10 && focused.value("AXValue", "") != text; ++attempt) {
        focused =
            expectOk(batch(pid, Json::array({pause()}))).reply.value("focused_element", Json());
    }
    EXPECT_EQ(focused.value("AXRole", ""), application.fieldRole) << focused.dump();
    EXPECT_EQ(focused.value("AXValue", ""), text) << focused.dump();
    EXPECT_EQ(kill(pid, 0), 0);
}

// Every text field of the widget factory's first page at scale 2, clicked at its centre, takes
// the focus with its value unchanged; one that GTK draws insensitive leaves the focus where it
// was. A spin button's centre is its text, not its "−" button.
TEST(Gtk3AtScale2, EveryTextFieldTakesTheFocusFromAClickAtItsCentre) {
    VirtualDesktop desktop({launchCommand({"gtk3", 2, "AXTextField", nullptr})});
    ASSERT_TRUE(desktop.started());
    std::int32_t pid = desktop.appPids()[0];
    struct Field {
        Rect rect;
        Json value;
    };
    std::vector<Field> fields;
    for (int attempt = 0; attempt < 40 && fields.size() < 7; ++attempt) {
        fields.clear();
        Json tree = expectOk(batch(pid, Json::array({pause()}))).reply["accessibility_tree"];
        forEachNode(tree, [&](const Json& node) {
            std::optional<Rect> rect = rectOf(node);
            if (node.value("AXRole", "") == "AXTextField" && rect && rect->width > 0 &&
                rect->x + rect->width / 2 < 1280 && rect->y + rect->height / 2 < 800) {
                fields.push_back({*rect, node.value("AXValue", Json())});
            }
        });
    }
    ASSERT_GE(fields.size(), 7u);
    Json focusedBefore;
    int focusedByClick = 0;
    for (const Field& field : fields) {
        double x = field.rect.x + field.rect.width / 2;
        double y = field.rect.y + field.rect.height / 2;
        Json focused =
            expectOk(batch(pid, Json::array({click(x, y)}))).reply.value("focused_element", Json());
        std::optional<Rect> focusedRect = rectOf(focused);
        if (focusedRect && *focusedRect == field.rect) {
            ++focusedByClick;
            EXPECT_EQ(focused.value("AXValue", Json()), field.value) << focused.dump();
        } else {
            EXPECT_EQ(focused, focusedBefore) << "a click at (" << x << ", " << y
                                              << ") focused another field: " << focused.dump();
        }
        focusedBefore = focused;
    }
    // A combo box's entry, two entries and a spin button are sensitive on that page.
    EXPECT_GE(focusedByClick, 4);
}

INSTANTIATE_TEST_SUITE_P(Applications, ToolkitsOnDesktop,
                         testing::Values(Application{"gtk3", 2, "AXTextField", nullptr},
                                         Application{"gtk4", 1, "AXTextField", nullptr},
                                         Application{"gtk4", 2, "AXTextField", nullptr},
                                         Application{"qt5", 1, "AXTextField", "Echo"},
                                         Application{"qt5", 2, "AXTextField", "Echo"},
                                         Application{"qt6", 1, "AXTextField", nullptr},
                                         Application{"firefox", 1, "AXTextField", "Name"},
                                         Application{"chromium", 1, "AXTextField", "Name"},
                                         Application{"chromium-as-user", 1, "AXTextField", "Name"},
                                         Application{"writer", 1, "AXTextArea", ""}),
                         [](const testing::TestParamInfo<Application>& info) {
                             std::string name = info.param.name;
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name + "_scale" + std::to_string(info.param.scale);
                         });

}  // namespace
}  // namespace quorvel::e2e
