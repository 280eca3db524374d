// CoreFoundation as the fake gives it: strings, numbers, booleans, arrays and dictionaries with
// type identifiers, equality and counted references.

#include <algorithm>
#include <cstring>
#include <string>

#include <unicode/unistr.h>

#include "FakeObjects.h"

namespace quorvel::macfake {

std::unordered_map<CFTypeRef, std::unique_ptr<Object>>& store() {
    static std::unordered_map<CFTypeRef, std::unique_ptr<Object>> objects;
    return objects;
}

namespace {

// Releases of something the fake never made, or of null.
std::vector<std::string>& strayReleases() {
    static std::vector<std::string> releases;
    return releases;
}

std::string describe(const Object& found) {
    static const char* const names[] = {"?",          "string", "number",  "boolean",  "array",
                                        "dictionary", "null",   "element", "geometry", "event"};
    std::string name = found.type < std::size(names) ? names[found.type] : "?";
    if (found.type == StringType) {
        const auto& text = static_cast<const String&>(found).text;
        name += " \"" + utf8(text) + "\"";
    }
    return name;
}

String& constantString(const std::string& text) {
    String& string = make<String>();
    string.constant = true;
    string.text = utf16(text);
    return string;
}

BooleanObject& constantBoolean(bool value) {
    BooleanObject& boolean = make<BooleanObject>();
    boolean.constant = true;
    boolean.value = value;
    return boolean;
}

}  // namespace

Object* object(CFTypeRef ref) {
    auto found = store().find(ref);
    return found == store().end() ? nullptr : found->second.get();
}

std::u16string utf16(const std::string& utf8) {
    icu::UnicodeString text = icu::UnicodeString::fromUTF8(utf8);
    return {text.getBuffer(), static_cast<std::size_t>(text.length())};
}

std::string utf8(const std::u16string& text) {
    std::string bytes;
    icu::UnicodeString(text.data(), static_cast<std::int32_t>(text.size())).toUTF8String(bytes);
    return bytes;
}

CFTypeRef fromJson(const Json& value) {
    if (value.is_string()) {
        String& string = make<String>();
        string.text = utf16(value.get<std::string>());
        return &string;
    }
    if (value.is_boolean()) {
        BooleanObject& boolean = make<BooleanObject>();
        boolean.value = value.get<bool>();
        return &boolean;
    }
    if (value.is_number()) {
        Number& number = make<Number>();
        if (value.is_number_float()) {
            number.numberType = kCFNumberFloat64Type;
            number.real = value.get<double>();
        } else {
            // The window server gives pids and layers as int, window numbers as SInt32.
            number.numberType = kCFNumberIntType;
            number.integer = value.get<std::int64_t>();
        }
        return &number;
    }
    if (value.is_array()) {
        Array& array = make<Array>();
        for (const Json& item : value) {
            array.items.push_back(fromJson(item));
        }
        return &array;
    }
    if (value.is_object()) {
        Dictionary& dictionary = make<Dictionary>();
        for (const auto& [key, item] : value.items()) {
            dictionary.entries.emplace_back(fromJson(key), fromJson(item));
        }
        return &dictionary;
    }
    return &make<NullObject>();
}

std::vector<std::string> referenceProblems() {
    std::vector<std::string> problems = strayReleases();
    for (const auto& [ref, held] : store()) {
        if (!held->constant && held->given != held->returned) {
            problems.push_back(describe(*held) + ": received or retained " +
                               std::to_string(held->given) + " times, released " +
                               std::to_string(held->returned));
        }
    }
    return problems;
}

std::size_t objectsHandedOut() {
    return static_cast<std::size_t>(std::count_if(
        store().begin(), store().end(),
        [](const auto& entry) { return !entry.second->constant && entry.second->given > 0; }));
}

void resetObjects() {
    std::erase_if(store(), [](const auto& entry) { return !entry.second->constant; });
    strayReleases().clear();
}

}  // namespace quorvel::macfake

using namespace quorvel::macfake;

extern "C" {

const CFAllocatorRef kCFAllocatorDefault = nullptr;
const CFBooleanRef kCFBooleanTrue = reinterpret_cast<CFBooleanRef>(&constantBoolean(true));
const CFBooleanRef kCFBooleanFalse = reinterpret_cast<CFBooleanRef>(&constantBoolean(false));

CFTypeID CFGetTypeID(CFTypeRef cf) {
    Object* found = object(cf);
    return found ? found->type : 0;
}

CFTypeRef CFRetain(CFTypeRef cf) {
    if (Object* found = object(cf)) {
        ++found->given;
    }
    return cf;
}

void CFRelease(CFTypeRef cf) {
    Object* found = object(cf);
    if (!found) {
        strayReleases().push_back(cf ? "a release of something never handed out"
                                     : "CFRelease(NULL)");
        return;
    }
    if (!found->constant && found->returned == found->given) {
        strayReleases().push_back(describe(*found) + ": released once more than it was held");
        return;
    }
    ++found->returned;
}

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2) {
    Object* a = object(cf1);
    Object* b = object(cf2);
    if (!a || !b || a->type != b->type) {
        return false;
    }
    switch (a->type) {
        case StringType:
            return static_cast<String*>(a)->text == static_cast<String*>(b)->text;
        case ElementType:
            return static_cast<ElementObject*>(a)->node == static_cast<ElementObject*>(b)->node;
        default:
            return a == b;
    }
}

CFTypeID CFStringGetTypeID(void) {
    return StringType;
}
CFTypeID CFNumberGetTypeID(void) {
    return NumberType;
}
CFTypeID CFBooleanGetTypeID(void) {
    return BooleanType;
}
CFTypeID CFArrayGetTypeID(void) {
    return ArrayType;
}
CFTypeID CFDictionaryGetTypeID(void) {
    return DictionaryType;
}

CFStringRef __CFStringMakeConstantString(const char* cStr) {
    return reinterpret_cast<CFStringRef>(&constantString(cStr));
}

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
    if (encoding != kCFStringEncodingUTF8) {
        return nullptr;
    }
    String& string = give<String>();
    string.text = utf16(cStr);
    return reinterpret_cast<CFStringRef>(&string);
}

CFIndex CFStringGetLength(CFStringRef theString) {
    String* string = as<String>(theString, StringType);
    return string ? static_cast<CFIndex>(string->text.size()) : 0;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding) {
    return 3 * length;
}

CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding,
                         UInt8 lossByte, Boolean, UInt8* buffer, CFIndex maxBufLen,
                         CFIndex* usedBufLen) {
    String* string = as<String>(theString, StringType);
    if (!string || encoding != kCFStringEncodingUTF8) {
        return 0;
    }
    std::u16string part = string->text.substr(static_cast<std::size_t>(range.location),
                                              static_cast<std::size_t>(range.length));
    // A lone surrogate cannot be written in UTF-8: the loss byte stands for it.
    for (std::size_t i = 0; i < part.size(); ++i) {
        bool high = part[i] >= 0xD800 && part[i] < 0xDC00;
        bool low = part[i] >= 0xDC00 && part[i] < 0xE000;
        if (high && i + 1 < part.size() && part[i + 1] >= 0xDC00 && part[i + 1] < 0xE000) {
            ++i;
        } else if (high || low) {
            part[i] = lossByte;
        }
    }
    std::string bytes = utf8(part);
    auto used = std::min<CFIndex>(static_cast<CFIndex>(bytes.size()), maxBufLen);
    if (buffer) {
        std::memcpy(buffer, bytes.data(), static_cast<std::size_t>(used));
    }
    if (usedBufLen) {
        *usedBufLen = used;
    }
    return static_cast<CFIndex>(part.size());
}

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
    BooleanObject* found = as<BooleanObject>(boolean, BooleanType);
    return found && found->value;
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
    Number* found = as<Number>(number, NumberType);
    return found &&
           (found->numberType == kCFNumberFloat64Type ||
            found->numberType == kCFNumberFloat32Type || found->numberType == kCFNumberDoubleType);
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
    Number* found = as<Number>(number, NumberType);
    if (!found) {
        return false;
    }
    bool isFloat = CFNumberIsFloatType(number);
    if (theType == kCFNumberSInt64Type) {
        *static_cast<std::int64_t*>(valuePtr) =
            isFloat ? static_cast<std::int64_t>(found->real) : found->integer;
        return !isFloat;
    }
    if (theType == kCFNumberFloat64Type) {
        *static_cast<double*>(valuePtr) =
            isFloat ? found->real : static_cast<double>(found->integer);
        return true;
    }
    return false;
}

CFIndex CFArrayGetCount(CFArrayRef theArray) {
    Array* array = as<Array>(theArray, ArrayType);
    return array ? static_cast<CFIndex>(array->items.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
    return as<Array>(theArray, ArrayType)->items.at(static_cast<std::size_t>(idx));
}

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict) {
    Dictionary* dictionary = as<Dictionary>(theDict, DictionaryType);
    return dictionary ? static_cast<CFIndex>(dictionary->entries.size()) : 0;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void* key,
                                      const void** value) {
    Dictionary* dictionary = as<Dictionary>(theDict, DictionaryType);
    if (!dictionary) {
        return false;
    }
    for (const auto& [entryKey, entryValue] : dictionary->entries) {
        if (CFEqual(entryKey, key)) {
            *value = entryValue;
            return true;
        }
    }
    return false;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values) {
    Dictionary* dictionary = as<Dictionary>(theDict, DictionaryType);
    for (std::size_t i = 0; dictionary && i < dictionary->entries.size(); ++i) {
        keys[i] = dictionary->entries[i].first;
        values[i] = dictionary->entries[i].second;
    }
}

}  // extern "C"
