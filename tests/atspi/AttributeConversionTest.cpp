#include <gtest/gtest.h>

#include <climits>

#include "platform/linux/atspi/AttributeConversion.h"

namespace quorvel::atspi {
namespace {

AccessibleNode nodeWith(Role role, std::initializer_list<State> states) {
    AccessibleNode node;
    node.role = static_cast<std::uint32_t>(role);
    for (State state : states) {
        node.states |= std::uint64_t{1} << static_cast<std::uint32_t>(state);
    }
    return node;
}

std::optional<std::int64_t> integerOf(const std::optional<AttributeValue>& value) {
    if (!value || !value->as<std::int64_t>()) {
        return std::nullopt;
    }
    return *value->as<std::int64_t>();
}

TEST(AttributeConversion, ChecksTogglesAndTabsAreZeroOrOne) {
    struct Case {
        AccessibleNode node;
        std::optional<std::int64_t> value;
    } cases[] = {
        {nodeWith(Role::CheckBox, {State::Checked}), 1},
        {nodeWith(Role::CheckBox, {State::Pressed}), 0},  // only toggles count a press
        {nodeWith(Role::CheckBox, {}), 0},
        {nodeWith(Role::ToggleButton, {State::Pressed}), 1},
        {nodeWith(Role::ToggleButton, {State::Checked}), 1},
        {nodeWith(Role::ToggleButton, {}), 0},
        {nodeWith(Role::RadioButton, {State::Checked, State::Showing}), 1},
        {nodeWith(Role::RadioButton, {State::Selected}), 0},
        {nodeWith(Role::PageTab, {State::Selected}), 1},
        {nodeWith(Role::PageTab, {State::Checked}), 0},
        {nodeWith(Role::PushButton, {State::Checked}), std::nullopt},
        {nodeWith(Role::Slider, {}), std::nullopt},  // its value is read from the widget
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.node.role);
        EXPECT_EQ(integerOf(stateValue(valueSource(each.node.role), each.node)), each.value);
    }
}

TEST(AttributeConversion, OnlyShowingObjectsLaidOutHaveAPlaceOnScreen) {
    EXPECT_TRUE(onScreen(true, Extents{10, 20, 30, 40}));
    EXPECT_TRUE(onScreen(true, Extents{-1200, -5, 30, 40}));  // left of the screen is a place
    EXPECT_FALSE(onScreen(true, Extents{INT_MIN, INT_MIN, 1, 1}));
    EXPECT_FALSE(onScreen(true, Extents{INT_MIN, 7, 1, 1}));
    EXPECT_FALSE(onScreen(false, Extents{10, 20, 30, 40}));
}

TEST(AttributeConversion, PositionAndSizeAreGeometryValuesOfTheExtents) {
    Extents extents{-40, 12, 300, 0};
    AttributeValue positionAttribute = positionValue(extents);
    const GeometryValue* position = positionAttribute.as<GeometryValue>();
    ASSERT_NE(position, nullptr);
    EXPECT_EQ(position->kind, GeometryKind::Point);
    EXPECT_TRUE(position->extracted);
    EXPECT_EQ(position->first, -40);
    EXPECT_EQ(position->second, 12);
    AttributeValue sizeAttribute = sizeValue(extents);
    const GeometryValue* size = sizeAttribute.as<GeometryValue>();
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->kind, GeometryKind::Size);
    EXPECT_EQ(size->first, 300);
    EXPECT_EQ(size->second, 0);
}

TEST(AttributeConversion, TextRoleNameFollowsTheMultiLineState) {
    EXPECT_EQ(roleName(nodeWith(Role::Text, {State::MultiLine}), false), "AXTextArea");
    EXPECT_EQ(roleName(nodeWith(Role::Text, {State::SingleLine}), false), "AXTextField");
    EXPECT_EQ(roleName(nodeWith(Role::ComboBox, {}), true), "AXComboBox");
}

}  // namespace
}  // namespace quorvel::atspi
