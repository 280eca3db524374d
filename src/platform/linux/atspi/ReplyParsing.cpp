#include "platform/linux/atspi/ReplyParsing.h"

#include <cstring>

namespace quorvel::atspi {

namespace {

bool hasSignature(DBusMessage* reply, const char* signature) {
    return reply && std::strcmp(dbus_message_get_signature(reply), signature) == 0;
}

// Reads the basic value under the iterator when it has the type asked for.
template <class T>
bool readBasic(DBusMessageIter* iterator, int type, T* out) {
    if (dbus_message_iter_get_arg_type(iterator) != type) {
        return false;
    }
    dbus_message_iter_get_basic(iterator, out);
    return true;
}

std::string readString(DBusMessageIter* iterator) {
    const char* text = nullptr;
    int type = dbus_message_iter_get_arg_type(iterator);
    if (type != DBUS_TYPE_STRING && type != DBUS_TYPE_OBJECT_PATH) {
        return {};
    }
    dbus_message_iter_get_basic(iterator, &text);
    return text ? std::string(text) : std::string();
}

// An object reference "(so)": the path, the bus name left out.
std::string readReferencePath(DBusMessageIter* iterator) {
    DBusMessageIter fields;
    dbus_message_iter_recurse(iterator, &fields);
    dbus_message_iter_next(&fields);
    return readString(&fields);
}

// A state set "au": two 32-bit words, low word first.
std::uint64_t readStates(DBusMessageIter* iterator) {
    DBusMessageIter words;
    dbus_message_iter_recurse(iterator, &words);
    std::uint32_t word[2] = {0, 0};
    for (int index = 0; index < 2; ++index) {
        if (!readBasic(&words, DBUS_TYPE_UINT32, &word[index])) {
            break;
        }
        dbus_message_iter_next(&words);
    }
    return stateSet(word[0], word[1]);
}

std::uint32_t readInterfaces(DBusMessageIter* iterator) {
    DBusMessageIter names;
    dbus_message_iter_recurse(iterator, &names);
    std::uint32_t bits = 0;
    while (dbus_message_iter_get_arg_type(&names) == DBUS_TYPE_STRING) {
        bits |= interfaceBit(readString(&names));
        dbus_message_iter_next(&names);
    }
    return bits;
}

// The value inside a variant, under `inner`.
bool openVariant(DBusMessageIter* iterator, DBusMessageIter* inner) {
    if (dbus_message_iter_get_arg_type(iterator) != DBUS_TYPE_VARIANT) {
        return false;
    }
    dbus_message_iter_recurse(iterator, inner);
    return true;
}

}  // namespace

std::vector<std::pair<std::string, AccessibleNode>> parseCacheItems(DBusMessage* reply) {
    std::vector<std::pair<std::string, AccessibleNode>> items;
    if (!hasSignature(reply, "a((so)(so)(so)iiassusau)")) {
        return items;
    }
    DBusMessageIter top;
    DBusMessageIter list;
    dbus_message_iter_init(reply, &top);
    dbus_message_iter_recurse(&top, &list);
    while (dbus_message_iter_get_arg_type(&list) == DBUS_TYPE_STRUCT) {
        DBusMessageIter field;
        dbus_message_iter_recurse(&list, &field);
        AccessibleNode node;
        std::string path = readReferencePath(&field);
        dbus_message_iter_next(&field);  // the application
        dbus_message_iter_next(&field);
        node.parentPath = readReferencePath(&field);
        dbus_message_iter_next(&field);
        readBasic(&field, DBUS_TYPE_INT32, &node.indexInParent);
        dbus_message_iter_next(&field);
        readBasic(&field, DBUS_TYPE_INT32, &node.childCount);
        dbus_message_iter_next(&field);
        node.interfaces = readInterfaces(&field);
        dbus_message_iter_next(&field);
        node.name = readString(&field);
        dbus_message_iter_next(&field);
        readBasic(&field, DBUS_TYPE_UINT32, &node.role);
        dbus_message_iter_next(&field);
        node.description = readString(&field);
        dbus_message_iter_next(&field);
        node.states = readStates(&field);
        items.emplace_back(std::move(path), std::move(node));
        dbus_message_iter_next(&list);
    }
    return items;
}

std::optional<AccessibleNode> parseDescription(DBusMessage* name, DBusMessage* description,
                                               DBusMessage* role, DBusMessage* state,
                                               DBusMessage* interfaces) {
    if (!hasSignature(role, "u") || !hasSignature(state, "au")) {
        return std::nullopt;
    }
    AccessibleNode node;
    DBusMessageIter iterator;
    dbus_message_iter_init(role, &iterator);
    readBasic(&iterator, DBUS_TYPE_UINT32, &node.role);
    dbus_message_iter_init(state, &iterator);
    node.states = readStates(&iterator);
    if (hasSignature(interfaces, "as")) {
        dbus_message_iter_init(interfaces, &iterator);
        node.interfaces = readInterfaces(&iterator);
    } else {
        node.interfaces = ~std::uint32_t{0};
    }
    node.name = parsePropertyString(name).value_or("");
    node.description = parsePropertyString(description).value_or("");
    return node;
}

std::optional<std::string> parsePropertyString(DBusMessage* reply) {
    DBusMessageIter iterator;
    DBusMessageIter value;
    if (!hasSignature(reply, "v")) {
        return std::nullopt;
    }
    dbus_message_iter_init(reply, &iterator);
    if (!openVariant(&iterator, &value) ||
        dbus_message_iter_get_arg_type(&value) != DBUS_TYPE_STRING) {
        return std::nullopt;
    }
    return readString(&value);
}

namespace {

ObjectRef readReference(DBusMessageIter* iterator) {
    DBusMessageIter fields;
    dbus_message_iter_recurse(iterator, &fields);
    ObjectRef reference;
    reference.bus = readString(&fields);
    dbus_message_iter_next(&fields);
    reference.path = readString(&fields);
    return reference;
}

}  // namespace

std::vector<ObjectRef> parseReferences(DBusMessage* reply) {
    std::vector<ObjectRef> references;
    if (!hasSignature(reply, "a(so)")) {
        return references;
    }
    DBusMessageIter top;
    DBusMessageIter list;
    dbus_message_iter_init(reply, &top);
    dbus_message_iter_recurse(&top, &list);
    while (dbus_message_iter_get_arg_type(&list) == DBUS_TYPE_STRUCT) {
        references.push_back(readReference(&list));
        dbus_message_iter_next(&list);
    }
    return references;
}

std::optional<ObjectRef> parseReference(DBusMessage* reply) {
    if (!hasSignature(reply, "(so)")) {
        return std::nullopt;
    }
    DBusMessageIter top;
    dbus_message_iter_init(reply, &top);
    return readReference(&top);
}

std::optional<Extents> parseExtents(DBusMessage* reply) {
    if (!hasSignature(reply, "(iiii)")) {
        return std::nullopt;
    }
    DBusMessageIter top;
    DBusMessageIter fields;
    dbus_message_iter_init(reply, &top);
    dbus_message_iter_recurse(&top, &fields);
    Extents extents;
    std::int32_t* slots[] = {&extents.x, &extents.y, &extents.width, &extents.height};
    for (std::int32_t* slot : slots) {
        readBasic(&fields, DBUS_TYPE_INT32, slot);
        dbus_message_iter_next(&fields);
    }
    return extents;
}

std::optional<std::string> parseText(DBusMessage* reply) {
    if (!hasSignature(reply, "s")) {
        return std::nullopt;
    }
    DBusMessageIter iterator;
    dbus_message_iter_init(reply, &iterator);
    return readString(&iterator);
}

std::optional<std::int32_t> parsePropertyInteger(DBusMessage* reply) {
    if (!hasSignature(reply, "v")) {
        return std::nullopt;
    }
    DBusMessageIter iterator;
    DBusMessageIter value;
    dbus_message_iter_init(reply, &iterator);
    std::int32_t number = 0;
    if (!openVariant(&iterator, &value) || !readBasic(&value, DBUS_TYPE_INT32, &number)) {
        return std::nullopt;
    }
    return number;
}

std::optional<double> parseCurrentValue(DBusMessage* reply) {
    if (!hasSignature(reply, "v")) {
        return std::nullopt;
    }
    DBusMessageIter iterator;
    DBusMessageIter value;
    dbus_message_iter_init(reply, &iterator);
    double number = 0;
    if (!openVariant(&iterator, &value) || !readBasic(&value, DBUS_TYPE_DOUBLE, &number)) {
        return std::nullopt;
    }
    return number;
}

std::optional<std::uint32_t> parseUnsigned(DBusMessage* reply) {
    if (!hasSignature(reply, "u")) {
        return std::nullopt;
    }
    DBusMessageIter iterator;
    dbus_message_iter_init(reply, &iterator);
    std::uint32_t value = 0;
    readBasic(&iterator, DBUS_TYPE_UINT32, &value);
    return value;
}

std::optional<std::vector<std::string>> parseStrings(DBusMessage* reply) {
    if (!hasSignature(reply, "as")) {
        return std::nullopt;
    }
    DBusMessageIter top;
    DBusMessageIter list;
    dbus_message_iter_init(reply, &top);
    dbus_message_iter_recurse(&top, &list);
    std::vector<std::string> strings;
    while (dbus_message_iter_get_arg_type(&list) == DBUS_TYPE_STRING) {
        strings.push_back(readString(&list));
        dbus_message_iter_next(&list);
    }
    return strings;
}

std::optional<bool> parseBoolean(DBusMessage* reply) {
    if (!hasSignature(reply, "b")) {
        return std::nullopt;
    }
    DBusMessageIter iterator;
    dbus_message_iter_init(reply, &iterator);
    dbus_bool_t value = FALSE;
    readBasic(&iterator, DBUS_TYPE_BOOLEAN, &value);
    return value != FALSE;
}

}  // namespace quorvel::atspi
