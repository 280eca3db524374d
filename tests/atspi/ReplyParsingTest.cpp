#include <gtest/gtest.h>

#include "platform/linux/atspi/ReplyParsing.h"

namespace quorvel::atspi {
namespace {

// A reply as D-Bus would deliver it, written in GVariant's text form.
VariantPtr reply(const char* type, const char* text) {
    GVariant* parsed = g_variant_parse(G_VARIANT_TYPE(type), text, nullptr, nullptr, nullptr);
    EXPECT_NE(parsed, nullptr) << text;
    return VariantPtr(parsed ? g_variant_ref_sink(parsed) : nullptr);
}

// Two items as gtk3-widget-factory lists them: a combo box's menu item, which gives no index,
// and a showing, focused, single-line entry (states 12, 25 and 26, and 32 in the high word).
constexpr const char* twoItems =
    "([((':1.0', '/org/a11y/atspi/accessible/191'), (':1.0', '/org/a11y/atspi/accessible/root'),"
    "   (':1.0', '/org/a11y/atspi/accessible/89'), -1, 0,"
    "   ['org.a11y.atspi.Accessible', 'org.a11y.atspi.Action', 'org.a11y.atspi.Component'],"
    "   'Mickey Mouse', 35, '', [1094713600, 0]),"
    "  ((':1.0', '/org/a11y/atspi/accessible/93'), (':1.0', '/org/a11y/atspi/accessible/root'),"
    "   (':1.0', '/org/a11y/atspi/accessible/88'), 1, 0,"
    "   ['org.a11y.atspi.Accessible', 'org.a11y.atspi.Component', 'org.a11y.atspi.Text',"
    "    'org.a11y.atspi.EditableText'],"
    "   '', 61, 'Type here', [uint32 100667392, uint32 1])],)";

TEST(ReplyParsing, CacheItemsGiveEachObjectWithItsPlace) {
    VariantPtr items = reply(cacheItemsType, twoItems);
    auto parsed = parseCacheItems(items.get());
    ASSERT_EQ(parsed.size(), 2u);
    EXPECT_EQ(parsed[0].first, "/org/a11y/atspi/accessible/191");
    const AccessibleNode& menuItem = parsed[0].second;
    EXPECT_EQ(menuItem.name, "Mickey Mouse");
    EXPECT_EQ(menuItem.role, 35u);
    EXPECT_EQ(menuItem.parentPath, "/org/a11y/atspi/accessible/89");
    EXPECT_EQ(menuItem.indexInParent, -1);
    EXPECT_TRUE(menuItem.supports(ComponentInterface));
    EXPECT_FALSE(menuItem.supports(TextInterface));
    EXPECT_FALSE(menuItem.has(State::Showing));

    const AccessibleNode& entry = parsed[1].second;
    EXPECT_EQ(entry.description, "Type here");
    EXPECT_EQ(entry.indexInParent, 1);
    EXPECT_EQ(entry.childCount, 0);
    EXPECT_TRUE(entry.supports(TextInterface));
    EXPECT_TRUE(entry.has(State::Focused));
    EXPECT_TRUE(entry.has(State::Showing));
    EXPECT_TRUE(entry.has(State::SingleLine));
    EXPECT_FALSE(entry.has(State::MultiLine));
    EXPECT_EQ(entry.states >> 32, 1u);  // the high word is kept
}

TEST(ReplyParsing, RepliesOfAnotherShapeGiveNothing) {
    VariantPtr wrong = reply("(s)", "('x',)");
    EXPECT_TRUE(parseCacheItems(wrong.get()).empty());
    EXPECT_TRUE(parseCacheItems(nullptr).empty());
    EXPECT_FALSE(parseExtents(wrong.get()));
    EXPECT_FALSE(parseExtents(nullptr));
    EXPECT_TRUE(parseReferences(wrong.get()).empty());
    EXPECT_FALSE(parseCurrentValue(wrong.get()));
    VariantPtr notADouble = reply("(v)", "(<'50'>,)");
    EXPECT_FALSE(parseCurrentValue(notADouble.get()));
    VariantPtr number = reply("(u)", "(7,)");
    EXPECT_FALSE(parseText(number.get()));
}

TEST(ReplyParsing, DescriptionNeedsRoleAndState) {
    VariantPtr properties =
        reply("(a{sv})",
              "({'Name': <'OK'>, 'Description': <'Closes it'>,"
              "  'Parent': <(':1.0', objectpath '/org/a11y/atspi/accessible/4')>,"
              "  'ChildCount': <0>},)");
    VariantPtr role = reply("(u)", "(43,)");
    VariantPtr state = reply("(au)", "([uint32 33554432],)");  // showing
    std::optional<AccessibleNode> node =
        parseDescription(properties.get(), role.get(), state.get(), nullptr);
    ASSERT_TRUE(node);
    EXPECT_EQ(node->name, "OK");
    EXPECT_EQ(node->description, "Closes it");
    EXPECT_EQ(node->parentPath, "/org/a11y/atspi/accessible/4");
    EXPECT_EQ(node->childCount, 0);
    EXPECT_EQ(node->role, 43u);
    EXPECT_TRUE(node->has(State::Showing));
    // Without the list of interfaces every call is worth trying.
    EXPECT_TRUE(node->supports(TextInterface));
    EXPECT_TRUE(node->supports(CollectionInterface));

    EXPECT_FALSE(parseDescription(properties.get(), nullptr, state.get(), nullptr));
    EXPECT_FALSE(parseDescription(properties.get(), role.get(), nullptr, nullptr));
    // Without the properties the object is still described, with empty texts.
    std::optional<AccessibleNode> bare =
        parseDescription(nullptr, role.get(), state.get(), nullptr);
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->name, "");
    EXPECT_EQ(bare->childCount, -1);
}

TEST(ReplyParsing, ExtentsReferencesTextAndValue) {
    VariantPtr extents = reply("((iiii))", "((-2147483648, -2147483648, 1, 1),)");
    ASSERT_TRUE(parseExtents(extents.get()));
    EXPECT_EQ(parseExtents(extents.get())->x, INT32_MIN);

    VariantPtr children = reply("(a(so))",
                                "([(':1.0', objectpath '/org/a11y/atspi/accessible/1'),"
                                "  (':1.7', objectpath '/org/a11y/atspi/accessible/root')],)");
    std::vector<ObjectRef> refs = parseReferences(children.get());
    ASSERT_EQ(refs.size(), 2u);
    EXPECT_EQ(refs[1], (ObjectRef{":1.7", "/org/a11y/atspi/accessible/root"}));

    VariantPtr text = reply("(s)", "('日本語 é',)");
    EXPECT_EQ(parseText(text.get()), "日本語 é");
    VariantPtr value = reply("(v)", "(<0.5>,)");
    EXPECT_EQ(parseCurrentValue(value.get()), 0.5);
}

}  // namespace
}  // namespace quorvel::atspi
