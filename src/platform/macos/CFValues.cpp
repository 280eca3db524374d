#include "platform/macos/CFValues.h"

#include <ApplicationServices/ApplicationServices.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/macos/AccessibilityElement.h"

namespace quorvel::macos {

namespace {

// Deeper than any window record or attribute the driver reads; a cycle cannot recurse forever.
constexpr int deepestNesting = 8;

bool isA(CFTypeRef value, CFTypeID type) {
    return value && CFGetTypeID(value) == type;
}

// The text as UTF-8; absent for a null or non-string value.
std::optional<std::string> utf8Text(CFTypeRef value) {
    if (!isA(value, CFStringGetTypeID())) {
        return std::nullopt;
    }
    auto text = static_cast<CFStringRef>(value);
    CFIndex units = CFStringGetLength(text);
    // CFStringGetBytes does not stop at a NUL inside the text, unlike CFStringGetCString, and
    // puts a question mark for what UTF-8 cannot carry (an unpaired surrogate).
    CFIndex capacity = CFStringGetMaximumSizeForEncoding(units, kCFStringEncodingUTF8);
    if (capacity < 0) {
        return std::nullopt;  // too long to say how long
    }
    std::string bytes(static_cast<std::size_t>(capacity), '\0');
    CFIndex used = 0;
    CFStringGetBytes(text, CFRangeMake(0, units), kCFStringEncodingUTF8, '?', false,
                     reinterpret_cast<UInt8*>(bytes.data()), static_cast<CFIndex>(bytes.size()),
                     &used);
    bytes.resize(static_cast<std::size_t>(used));
    return bytes;
}

// An integer when the number is one and fits, else a double.
std::variant<std::int64_t, double> numberValue(CFNumberRef number) {
    std::int64_t integer = 0;
    if (!CFNumberIsFloatType(number) && CFNumberGetValue(number, kCFNumberSInt64Type, &integer)) {
        return integer;
    }
    double real = 0;
    CFNumberGetValue(number, kCFNumberFloat64Type, &real);
    return real;
}

Json jsonAt(CFTypeRef value, int depth) {
    if (!value || depth > deepestNesting) {
        return nullptr;
    }
    CFTypeID type = CFGetTypeID(value);
    if (type == CFStringGetTypeID()) {
        std::optional<std::string> text = utf8Text(value);
        return text ? Json(*text) : Json();
    }
    if (type == CFBooleanGetTypeID()) {
        return CFBooleanGetValue(static_cast<CFBooleanRef>(value)) != 0;
    }
    if (type == CFNumberGetTypeID()) {
        return std::visit([](auto number) { return Json(number); },
                          numberValue(static_cast<CFNumberRef>(value)));
    }
    if (type == CFArrayGetTypeID()) {
        auto array = static_cast<CFArrayRef>(value);
        Json items = Json::array();
        for (CFIndex i = 0, count = CFArrayGetCount(array); i < count; ++i) {
            items.push_back(jsonAt(CFArrayGetValueAtIndex(array, i), depth + 1));
        }
        return items;
    }
    if (type == CFDictionaryGetTypeID()) {
        auto dictionary = static_cast<CFDictionaryRef>(value);
        std::vector<const void*> keys(static_cast<std::size_t>(CFDictionaryGetCount(dictionary)));
        std::vector<const void*> values(keys.size());
        CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
        Json object = Json::object();
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (std::optional<std::string> key = utf8Text(keys[i])) {
                object[*key] = jsonAt(values[i], depth + 1);
            }
        }
        return object;
    }
    return nullptr;
}

GeometryValue geometryValue(AXValueRef value) {
    GeometryValue geometry;
    switch (AXValueGetType(value)) {
        case kAXValueTypeCGPoint: {
            geometry.kind = GeometryKind::Point;
            CGPoint point{};
            if (AXValueGetValue(value, kAXValueTypeCGPoint, &point)) {
                geometry = {GeometryKind::Point, true, point.x, point.y};
            }
            break;
        }
        case kAXValueTypeCGSize: {
            geometry.kind = GeometryKind::Size;
            CGSize size{};
            if (AXValueGetValue(value, kAXValueTypeCGSize, &size)) {
                geometry = {GeometryKind::Size, true, size.width, size.height};
            }
            break;
        }
        case kAXValueTypeCGRect:
            geometry.kind = GeometryKind::Rect;
            break;
        case kAXValueTypeCFRange:
            geometry.kind = GeometryKind::Range;
            break;
        default:
            break;
    }
    return geometry;
}

AttributeValue attributeAt(CFTypeRef value, int depth) {
    if (!value || depth > deepestNesting) {
        return {};
    }
    CFTypeID type = CFGetTypeID(value);
    if (type == AXUIElementGetTypeID()) {
        auto element = static_cast<AXUIElementRef>(value);
        return {std::make_unique<AccessibilityElement>(CFHandle<AXUIElementRef>::retain(element))};
    }
    if (type == AXValueGetTypeID()) {
        return {geometryValue(static_cast<AXValueRef>(value))};
    }
    if (type == CFStringGetTypeID()) {
        std::optional<std::string> text = utf8Text(value);
        return text ? AttributeValue{*text} : AttributeValue{};
    }
    if (type == CFBooleanGetTypeID()) {
        return {CFBooleanGetValue(static_cast<CFBooleanRef>(value)) != 0};
    }
    if (type == CFNumberGetTypeID()) {
        return std::visit([](auto number) { return AttributeValue{number}; },
                          numberValue(static_cast<CFNumberRef>(value)));
    }
    if (type == CFArrayGetTypeID()) {
        auto array = static_cast<CFArrayRef>(value);
        AttributeArray items;
        for (CFIndex i = 0, count = CFArrayGetCount(array); i < count; ++i) {
            items.push_back(attributeAt(CFArrayGetValueAtIndex(array, i), depth + 1));
        }
        return {std::move(items)};
    }
    return {};
}

}  // namespace

CFHandle<CFStringRef> makeString(std::string_view utf8) {
    std::string terminated(utf8);
    if (terminated.find('\0') != std::string::npos) {
        return {};
    }
    return CFHandle<CFStringRef>::adopt(
        CFStringCreateWithCString(kCFAllocatorDefault, terminated.c_str(), kCFStringEncodingUTF8));
}

Json windowRecords(CFArrayRef windows) {
    // The key constants are given by address: they are variables of the framework.
    static const struct {
        const char* name;
        const CFStringRef* key;
    } keys[] = {{"kCGWindowNumber", &kCGWindowNumber}, {"kCGWindowOwnerPID", &kCGWindowOwnerPID},
                {"kCGWindowLayer", &kCGWindowLayer},   {"kCGWindowOwnerName", &kCGWindowOwnerName},
                {"kCGWindowName", &kCGWindowName},     {"kCGWindowBounds", &kCGWindowBounds}};
    Json records = Json::array();
    for (CFIndex i = 0, count = CFArrayGetCount(windows); i < count; ++i) {
        CFTypeRef item = CFArrayGetValueAtIndex(windows, i);
        if (!isA(item, CFDictionaryGetTypeID())) {
            records.push_back(jsonAt(item, 0));
            continue;
        }
        Json record = Json::object();
        for (const auto& [name, key] : keys) {
            const void* value = nullptr;
            if (CFDictionaryGetValueIfPresent(static_cast<CFDictionaryRef>(item), *key, &value)) {
                record[name] = jsonAt(value, 1);
            }
        }
        records.push_back(std::move(record));
    }
    return records;
}

AttributeValue attributeValue(CFTypeRef value) {
    return attributeAt(value, 0);
}

}  // namespace quorvel::macos
