#pragma once

// The fake's CoreFoundation objects, shared by its CoreFoundation, Quartz and Accessibility
// parts. Objects live until the next reset, so a release too many is seen, never a crash.

#include <ApplicationServices/ApplicationServices.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "FakeServices.h"

namespace quorvel::macfake {

enum FakeType : CFTypeID {
    StringType = 1,
    NumberType,
    BooleanType,
    ArrayType,
    DictionaryType,
    NullType,
    ElementType,
    GeometryType,
    EventType,
};

struct Object {
    explicit Object(CFTypeID objectType) : type(objectType) {}
    virtual ~Object() = default;
    CFTypeID type;
    // Constants are never counted: releasing one is harmless, as on a Mac.
    bool constant = false;
    // References the code under test was given or took, and gave back.
    int given = 0;
    int returned = 0;
};

struct String : Object {
    String() : Object(StringType) {}
    std::u16string text;
};
struct Number : Object {
    Number() : Object(NumberType) {}
    CFNumberType numberType = kCFNumberSInt64Type;
    std::int64_t integer = 0;
    double real = 0;
};
struct NullObject : Object {
    NullObject() : Object(NullType) {}
};
struct BooleanObject : Object {
    BooleanObject() : Object(BooleanType) {}
    bool value = false;
};
// Containers hold their items themselves: what the caller gets from them is lent.
struct Array : Object {
    Array() : Object(ArrayType) {}
    std::vector<CFTypeRef> items;
};
struct Dictionary : Object {
    Dictionary() : Object(DictionaryType) {}
    std::vector<std::pair<CFTypeRef, CFTypeRef>> entries;
};
struct ElementObject : Object {
    ElementObject() : Object(ElementType) {}
    NodeId node = -1;
    float timeoutSeconds = 0;  // 0: the process default
};
struct GeometryObject : Object {
    GeometryObject() : Object(GeometryType) {}
    AXValueType valueType = kAXValueTypeIllegal;
    double first = 0, second = 0;
};
struct EventObject : Object {
    EventObject() : Object(EventType) {}
    PostedEvent event;
};

std::unordered_map<CFTypeRef, std::unique_ptr<Object>>& store();

// A new object that belongs to the fake (an item of a container, a constant).
template <class T>
T& make() {
    auto made = std::make_unique<T>();
    T& object = *made;
    store().emplace(&object, std::move(made));
    return object;
}

// A new object whose one reference goes to the caller, under the Create and Copy rules.
template <class T>
T& give() {
    T& object = make<T>();
    object.given = 1;
    return object;
}

// The object behind a reference, checked to be one of the fake's; null for anything else.
Object* object(CFTypeRef ref);

template <class T>
T* as(CFTypeRef ref, CFTypeID type) {
    Object* found = object(ref);
    return found && found->type == type ? static_cast<T*>(found) : nullptr;
}

std::string utf8(const std::u16string& text);

// Forgets every object but the constants.
void resetObjects();

// A string, number, boolean, array, dictionary or null made from JSON; items belong to the fake.
CFTypeRef fromJson(const Json& value);

}  // namespace quorvel::macfake
