#include <cmath>
#include <limits>

#include "DesktopTest.h"
#include "observe/Attr.h"

namespace quorvel {
namespace {

class Attr : public DesktopTest {};

TEST_F(Attr, ReadsWithTheMessagingTimeoutSetJustBefore) {
    ElementId element = desktop.addElement({{"AXRole", "AXButton"}});
    desktop.setApplicationElement(target, element);
    ElementHandle handle = desktop.applicationElement(target);
    checkCancellation(runtime);
    auto role = attr(runtime, *handle, "AXRole");
    ASSERT_TRUE(role && role->as<std::string>());
    EXPECT_EQ(*role->as<std::string>(), "AXButton");
    EXPECT_FALSE(attr(runtime, *handle, "AXTitle"));  // absent and unsupported look alike
    EXPECT_EQ(desktop.accessibilityCalls,
              (std::vector<std::string>{"timeout 0 0.1", "read 0 AXRole", "timeout 0 0.1",
                                        "read 0 AXTitle"}));
}

TEST_F(Attr, NothingIsAskedOnceCancelledOrPastTheDeadline) {
    ElementId element = desktop.addElement({{"AXRole", "AXButton"}});
    desktop.setApplicationElement(target, element);
    ElementHandle handle = desktop.applicationElement(target);
    checkCancellation(runtime);
    desktop.sleep(240s);  // exactly at the deadline
    EXPECT_FALSE(attr(runtime, *handle, "AXRole"));
    CancellationFlag raised{1};
    Runtime cancelled{desktop, raised, {}};
    EXPECT_FALSE(attr(cancelled, *handle, "AXRole"));
    EXPECT_TRUE(desktop.accessibilityCalls.empty());
}

TEST(GeometrySummary, AcceptsOnlyFiniteValuesOfTheAskedKind) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    auto geometry = [](GeometryKind kind, double a, double b, bool extracted = true) {
        return AttributeValue{GeometryValue{kind, extracted, a, b}};
    };
    struct Case {
        const char* name;
        AttributeValue value;
        Geometry asked;
        const char* expected;  // "" for nothing
    };
    Case cases[] = {
        {"point", geometry(GeometryKind::Point, -40, 12.5), Geometry::Position,
         R"({"x":-40.0,"y":12.5})"},
        {"infinite point", geometry(GeometryKind::Point, inf, 1), Geometry::Position, ""},
        {"NaN point", geometry(GeometryKind::Point, 1, nan), Geometry::Position, ""},
        {"point asked as size", geometry(GeometryKind::Point, 1, 1), Geometry::Size, ""},
        {"size asked as point", geometry(GeometryKind::Size, 1, 1), Geometry::Position, ""},
        {"empty size", geometry(GeometryKind::Size, 0, 0), Geometry::Size,
         R"({"height":0.0,"width":0.0})"},
        {"negative zero height", geometry(GeometryKind::Size, 3, -0.0), Geometry::Size,
         R"({"height":-0.0,"width":3.0})"},
        {"negative width", geometry(GeometryKind::Size, -1, 3), Geometry::Size, ""},
        {"rectangle", geometry(GeometryKind::Rect, 1, 1), Geometry::Position, ""},
        {"range", geometry(GeometryKind::Range, 1, 1), Geometry::Size, ""},
        {"failed extraction", geometry(GeometryKind::Point, 1, 1, false), Geometry::Position, ""},
        {"text", AttributeValue{std::string("1,2")}, Geometry::Position, ""},
    };
    for (Case& c : cases) {
        std::optional<Json> summary = geometrySummary(c.value, c.asked);
        EXPECT_EQ(summary ? summary->dump() : "", c.expected) << c.name;
    }
}

}  // namespace
}  // namespace quorvel
