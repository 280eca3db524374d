#include "platform/linux/atspi/ReplyParsing.h"

namespace quorvel::atspi {

namespace {

bool hasType(GVariant* value, const char* type) {
    return value && g_variant_is_of_type(value, G_VARIANT_TYPE(type));
}

std::uint64_t readStates(GVariant* words) {
    gsize count = g_variant_n_children(words);
    std::uint32_t low = 0;
    std::uint32_t high = 0;
    if (count > 0) {
        g_variant_get_child(words, 0, "u", &low);
    }
    if (count > 1) {
        g_variant_get_child(words, 1, "u", &high);
    }
    return stateSet(low, high);
}

std::uint32_t readInterfaces(GVariant* names) {
    std::uint32_t bits = 0;
    GVariantIter iterator;
    g_variant_iter_init(&iterator, names);
    const gchar* name = nullptr;
    while (g_variant_iter_next(&iterator, "&s", &name)) {
        bits |= interfaceBit(name);
    }
    return bits;
}

}  // namespace

std::vector<std::pair<std::string, AccessibleNode>> parseCacheItems(GVariant* reply) {
    std::vector<std::pair<std::string, AccessibleNode>> items;
    if (!hasType(reply, cacheItemsType)) {
        return items;
    }
    VariantPtr list = childOf(reply, 0);
    gsize count = g_variant_n_children(list.get());
    items.reserve(count);
    for (gsize index = 0; index < count; ++index) {
        VariantPtr item = childOf(list.get(), index);
        const gchar* path = nullptr;
        const gchar* parentPath = nullptr;
        const gchar* name = nullptr;
        const gchar* description = nullptr;
        gint32 indexInParent = -1;
        gint32 childCount = -1;
        guint32 role = 0;
        g_variant_get_child(item.get(), 0, "(&s&o)", nullptr, &path);
        g_variant_get_child(item.get(), 2, "(&s&o)", nullptr, &parentPath);
        g_variant_get_child(item.get(), 3, "i", &indexInParent);
        g_variant_get_child(item.get(), 4, "i", &childCount);
        g_variant_get_child(item.get(), 6, "&s", &name);
        g_variant_get_child(item.get(), 7, "u", &role);
        g_variant_get_child(item.get(), 8, "&s", &description);
        VariantPtr interfaces = childOf(item.get(), 5);
        VariantPtr states = childOf(item.get(), 9);
        AccessibleNode node;
        node.role = role;
        node.name = name;
        node.description = description;
        node.states = readStates(states.get());
        node.interfaces = readInterfaces(interfaces.get());
        node.parentPath = parentPath;
        node.indexInParent = indexInParent;
        node.childCount = childCount;
        items.emplace_back(path, std::move(node));
    }
    return items;
}

std::optional<AccessibleNode> parseDescription(GVariant* properties, GVariant* role,
                                               GVariant* state, GVariant* interfaces) {
    if (!hasType(role, "(u)") || !hasType(state, "(au)")) {
        return std::nullopt;
    }
    AccessibleNode node;
    g_variant_get(role, "(u)", &node.role);
    VariantPtr words = childOf(state, 0);
    node.states = readStates(words.get());
    if (hasType(interfaces, "(as)")) {
        VariantPtr names = childOf(interfaces, 0);
        node.interfaces = readInterfaces(names.get());
    } else {
        node.interfaces = ~std::uint32_t{0};
    }
    if (hasType(properties, "(a{sv})")) {
        VariantPtr dictionary = childOf(properties, 0);
        const gchar* text = nullptr;
        if (g_variant_lookup(dictionary.get(), "Name", "&s", &text)) {
            node.name = text;
        }
        if (g_variant_lookup(dictionary.get(), "Description", "&s", &text)) {
            node.description = text;
        }
        const gchar* parentPath = nullptr;
        if (g_variant_lookup(dictionary.get(), "Parent", "(&s&o)", nullptr, &parentPath)) {
            node.parentPath = parentPath;
        }
        gint32 childCount = -1;
        if (g_variant_lookup(dictionary.get(), "ChildCount", "i", &childCount)) {
            node.childCount = childCount;
        }
    }
    return node;
}

std::vector<ObjectRef> parseReferences(GVariant* reply) {
    std::vector<ObjectRef> references;
    if (!hasType(reply, "(a(so))")) {
        return references;
    }
    VariantPtr list = childOf(reply, 0);
    GVariantIter iterator;
    g_variant_iter_init(&iterator, list.get());
    const gchar* bus = nullptr;
    const gchar* path = nullptr;
    while (g_variant_iter_next(&iterator, "(&s&o)", &bus, &path)) {
        references.push_back(ObjectRef{bus, path});
    }
    return references;
}

std::optional<Extents> parseExtents(GVariant* reply) {
    if (!hasType(reply, "((iiii))")) {
        return std::nullopt;
    }
    Extents extents;
    g_variant_get(reply, "((iiii))", &extents.x, &extents.y, &extents.width, &extents.height);
    return extents;
}

std::optional<std::string> parseText(GVariant* reply) {
    if (!hasType(reply, "(s)")) {
        return std::nullopt;
    }
    const gchar* text = nullptr;
    g_variant_get(reply, "(&s)", &text);
    return std::string(text);
}

std::optional<double> parseCurrentValue(GVariant* reply) {
    if (!hasType(reply, "(v)")) {
        return std::nullopt;
    }
    VariantPtr boxed = childOf(reply, 0);
    VariantPtr value(g_variant_get_variant(boxed.get()));
    if (!hasType(value.get(), "d")) {
        return std::nullopt;
    }
    return g_variant_get_double(value.get());
}

}  // namespace quorvel::atspi
