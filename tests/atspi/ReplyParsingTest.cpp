#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "platform/linux/atspi/ReplyParsing.h"

namespace quorvel::atspi {
namespace {

// A method return whose arguments `write` appends, as a reply off the wire would carry them.
MessagePtr reply(const std::function<void(DBusMessageIter*)>& write) {
    MessagePtr message(dbus_message_new(DBUS_MESSAGE_TYPE_METHOD_RETURN));
    DBusMessageIter arguments;
    dbus_message_iter_init_append(message.get(), &arguments);
    write(&arguments);
    return message;
}

void appendString(DBusMessageIter* iterator, const char* text, int type = DBUS_TYPE_STRING) {
    dbus_message_iter_append_basic(iterator, type, &text);
}

template <class T>
void appendBasic(DBusMessageIter* iterator, int type, T value) {
    dbus_message_iter_append_basic(iterator, type, &value);
}

void appendReference(DBusMessageIter* iterator, const char* bus, const char* path) {
    DBusMessageIter fields;
    dbus_message_iter_open_container(iterator, DBUS_TYPE_STRUCT, nullptr, &fields);
    appendString(&fields, bus);
    appendString(&fields, path, DBUS_TYPE_OBJECT_PATH);
    dbus_message_iter_close_container(iterator, &fields);
}

void appendStates(DBusMessageIter* iterator, dbus_uint32_t low, dbus_uint32_t high) {
    DBusMessageIter words;
    dbus_message_iter_open_container(iterator, DBUS_TYPE_ARRAY, "u", &words);
    appendBasic(&words, DBUS_TYPE_UINT32, low);
    appendBasic(&words, DBUS_TYPE_UINT32, high);
    dbus_message_iter_close_container(iterator, &words);
}

struct Item {
    const char* path;
    const char* parent;
    dbus_int32_t index;
    dbus_int32_t childCount;
    std::vector<const char*> interfaces;
    const char* name;
    dbus_uint32_t role;
    const char* description;
    dbus_uint32_t lowStates;
    dbus_uint32_t highStates;
};

MessagePtr cacheItems(const std::vector<Item>& items) {
    return reply([&](DBusMessageIter* arguments) {
        DBusMessageIter list;
        dbus_message_iter_open_container(arguments, DBUS_TYPE_ARRAY, "((so)(so)(so)iiassusau)",
                                         &list);
        for (const Item& item : items) {
            DBusMessageIter fields;
            DBusMessageIter names;
            dbus_message_iter_open_container(&list, DBUS_TYPE_STRUCT, nullptr, &fields);
            appendReference(&fields, ":1.0", item.path);
            appendReference(&fields, ":1.0", "/org/a11y/atspi/accessible/root");
            appendReference(&fields, ":1.0", item.parent);
            appendBasic(&fields, DBUS_TYPE_INT32, item.index);
            appendBasic(&fields, DBUS_TYPE_INT32, item.childCount);
            dbus_message_iter_open_container(&fields, DBUS_TYPE_ARRAY, "s", &names);
            for (const char* name : item.interfaces) {
                appendString(&names, name);
            }
            dbus_message_iter_close_container(&fields, &names);
            appendString(&fields, item.name);
            appendBasic(&fields, DBUS_TYPE_UINT32, item.role);
            appendString(&fields, item.description);
            appendStates(&fields, item.lowStates, item.highStates);
            dbus_message_iter_close_container(&list, &fields);
        }
        dbus_message_iter_close_container(arguments, &list);
    });
}

// Two items as gtk3-widget-factory lists them: a combo box's menu item, which gives no index,
// and a showing, focused, single-line entry (states 12, 25 and 26, and 32 in the high word).
TEST(ReplyParsing, CacheItemsGiveEachObjectWithItsPlace) {
    MessagePtr items = cacheItems({
        {"/org/a11y/atspi/accessible/191",
         "/org/a11y/atspi/accessible/89",
         -1,
         0,
         {"org.a11y.atspi.Accessible", "org.a11y.atspi.Action", "org.a11y.atspi.Component"},
         "Mickey Mouse",
         35,
         "",
         1094713600,
         0},
        {"/org/a11y/atspi/accessible/93",
         "/org/a11y/atspi/accessible/88",
         1,
         0,
         {"org.a11y.atspi.Accessible", "org.a11y.atspi.Component", "org.a11y.atspi.Text",
          "org.a11y.atspi.EditableText"},
         "",
         61,
         "Type here",
         (1u << 12) | (1u << 25) | (1u << 26),
         1},
    });
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
    EXPECT_EQ(entry.parentPath, "/org/a11y/atspi/accessible/88");
    EXPECT_EQ(entry.indexInParent, 1);
    EXPECT_EQ(entry.childCount, 0);
    EXPECT_TRUE(entry.supports(TextInterface));
    EXPECT_FALSE(entry.supports(ValueInterface));
    EXPECT_TRUE(entry.has(State::Focused));
    EXPECT_TRUE(entry.has(State::Showing));
    EXPECT_TRUE(entry.has(State::SingleLine));
    EXPECT_FALSE(entry.has(State::MultiLine));
    EXPECT_EQ(entry.states >> 32, 1u);  // the high word is kept
}

TEST(ReplyParsing, RepliesOfAnotherShapeGiveNothing) {
    MessagePtr text = reply([](DBusMessageIter* arguments) { appendString(arguments, "x"); });
    EXPECT_TRUE(parseCacheItems(text.get()).empty());
    EXPECT_TRUE(parseCacheItems(nullptr).empty());
    EXPECT_FALSE(parseExtents(text.get()));
    EXPECT_FALSE(parseExtents(nullptr));
    EXPECT_TRUE(parseReferences(text.get()).empty());
    EXPECT_FALSE(parseReference(text.get()));
    EXPECT_FALSE(parseCurrentValue(text.get()));
    EXPECT_FALSE(parseUnsigned(text.get()));
    EXPECT_FALSE(parseBoolean(text.get()));
    MessagePtr textInVariant = reply([](DBusMessageIter* arguments) {
        DBusMessageIter variant;
        dbus_message_iter_open_container(arguments, DBUS_TYPE_VARIANT, "s", &variant);
        appendString(&variant, "50");
        dbus_message_iter_close_container(arguments, &variant);
    });
    EXPECT_FALSE(parseCurrentValue(textInVariant.get()));
    MessagePtr number = reply([](DBusMessageIter* arguments) {
        appendBasic(arguments, DBUS_TYPE_UINT32, dbus_uint32_t{7});
    });
    EXPECT_FALSE(parseText(number.get()));
    EXPECT_EQ(parseUnsigned(number.get()), 7u);
}

// A Properties.Get reply: the value in a variant of the given signature.
MessagePtr property(const char* signature, const std::function<void(DBusMessageIter*)>& value) {
    return reply([&](DBusMessageIter* arguments) {
        DBusMessageIter variant;
        dbus_message_iter_open_container(arguments, DBUS_TYPE_VARIANT, signature, &variant);
        value(&variant);
        dbus_message_iter_close_container(arguments, &variant);
    });
}

MessagePtr stringProperty(const char* text) {
    return property("s", [&](DBusMessageIter* value) { appendString(value, text); });
}

TEST(ReplyParsing, DescriptionNeedsRoleAndState) {
    MessagePtr name = stringProperty("OK");
    MessagePtr description = stringProperty("Closes it");
    MessagePtr role = reply([](DBusMessageIter* arguments) {
        appendBasic(arguments, DBUS_TYPE_UINT32, dbus_uint32_t{43});
    });
    MessagePtr state = reply([](DBusMessageIter* arguments) {
        appendStates(arguments, 1u << 25, 0);  // showing
    });
    std::optional<AccessibleNode> node =
        parseDescription(name.get(), description.get(), role.get(), state.get(), nullptr);
    ASSERT_TRUE(node);
    EXPECT_EQ(node->name, "OK");
    EXPECT_EQ(node->description, "Closes it");
    EXPECT_EQ(node->role, 43u);
    EXPECT_TRUE(node->has(State::Showing));
    // Without the list of interfaces every call is worth trying.
    EXPECT_TRUE(node->supports(TextInterface));
    EXPECT_TRUE(node->supports(CollectionInterface));

    EXPECT_FALSE(parseDescription(name.get(), description.get(), nullptr, state.get(), nullptr));
    EXPECT_FALSE(parseDescription(name.get(), description.get(), role.get(), nullptr, nullptr));
    EXPECT_FALSE(parseDescription(name.get(), description.get(), state.get(), role.get(), nullptr));
    // Without the texts, or with texts of another type, the object is still described.
    MessagePtr number = property(
        "i", [](DBusMessageIter* value) { appendBasic(value, DBUS_TYPE_INT32, dbus_int32_t{7}); });
    std::optional<AccessibleNode> bare =
        parseDescription(nullptr, number.get(), role.get(), state.get(), nullptr);
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->name, "");
    EXPECT_EQ(bare->description, "");
    EXPECT_EQ(bare->childCount, -1);
}

TEST(ReplyParsing, ExtentsReferencesTextAndValue) {
    MessagePtr extents = reply([](DBusMessageIter* arguments) {
        DBusMessageIter fields;
        dbus_message_iter_open_container(arguments, DBUS_TYPE_STRUCT, nullptr, &fields);
        for (dbus_int32_t value : {INT_MIN, INT_MIN, 1, 1}) {
            appendBasic(&fields, DBUS_TYPE_INT32, value);
        }
        dbus_message_iter_close_container(arguments, &fields);
    });
    ASSERT_TRUE(parseExtents(extents.get()));
    EXPECT_EQ(parseExtents(extents.get())->x, INT_MIN);
    EXPECT_EQ(parseExtents(extents.get())->height, 1);

    MessagePtr children = reply([](DBusMessageIter* arguments) {
        DBusMessageIter list;
        dbus_message_iter_open_container(arguments, DBUS_TYPE_ARRAY, "(so)", &list);
        appendReference(&list, ":1.0", "/org/a11y/atspi/accessible/1");
        appendReference(&list, ":1.7", "/org/a11y/atspi/accessible/root");
        dbus_message_iter_close_container(arguments, &list);
    });
    std::vector<ObjectRef> refs = parseReferences(children.get());
    ASSERT_EQ(refs.size(), 2u);
    EXPECT_EQ(refs[1], (ObjectRef{":1.7", "/org/a11y/atspi/accessible/root"}));
    EXPECT_FALSE(parseReference(children.get()));  // a list is not one child
    MessagePtr child = reply([](DBusMessageIter* arguments) {
        appendReference(arguments, ":1.0", "/org/a11y/atspi/accessible/9");
    });
    EXPECT_EQ(parseReference(child.get()), (ObjectRef{":1.0", "/org/a11y/atspi/accessible/9"}));

    MessagePtr text =
        reply([](DBusMessageIter* arguments) { appendString(arguments, "日本語 é"); });
    EXPECT_EQ(parseText(text.get()), "日本語 é");
    MessagePtr value = reply([](DBusMessageIter* arguments) {
        DBusMessageIter variant;
        dbus_message_iter_open_container(arguments, DBUS_TYPE_VARIANT, "d", &variant);
        appendBasic(&variant, DBUS_TYPE_DOUBLE, 0.5);
        dbus_message_iter_close_container(arguments, &variant);
    });
    EXPECT_EQ(parseCurrentValue(value.get()), 0.5);
    MessagePtr yes = reply([](DBusMessageIter* arguments) {
        appendBasic(arguments, DBUS_TYPE_BOOLEAN, dbus_bool_t{TRUE});
    });
    EXPECT_EQ(parseBoolean(yes.get()), true);
    MessagePtr names = reply([](DBusMessageIter* arguments) {
        DBusMessageIter list;
        dbus_message_iter_open_container(arguments, DBUS_TYPE_ARRAY, "s", &list);
        appendString(&list, "org.freedesktop.DBus");
        appendString(&list, "org.a11y.atspi.Registry");
        dbus_message_iter_close_container(arguments, &list);
    });
    EXPECT_EQ(parseStrings(names.get()),
              (std::vector<std::string>{"org.freedesktop.DBus", "org.a11y.atspi.Registry"}));
    EXPECT_FALSE(parseStrings(yes.get()));
}

}  // namespace
}  // namespace quorvel::atspi
