#pragma once

// CoreFoundation values as the seam's loosely typed values: the window server's answer as JSON,
// an accessibility attribute as an AttributeValue. Kinds are kept as they came: an integer stays
// an integer, a dictionary an object, and a value of an unexpected type stays unexpected for the
// caller to cope with.

#include <CoreFoundation/CoreFoundation.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/AttributeValue.h"
#include "platform/Json.h"
#include "platform/macos/CFHandle.h"

namespace quorvel::macos {

// The text as UTF-8; absent for a null or non-string value. An unpaired surrogate becomes "?".
std::optional<std::string> utf8Text(CFTypeRef value);

// A new string of UTF-8 text; null when the text is not valid UTF-8.
CFHandle<CFStringRef> makeString(std::string_view utf8);

// Strings, numbers, booleans, arrays and dictionaries with string keys; null for anything else.
Json jsonValue(CFTypeRef value);

// The window server's list: one object per window dictionary with the keys the window list
// reads, converted as they came; any other item as jsonValue gives it.
Json windowRecords(CFArrayRef windows);

// An attribute as the driver tells kinds apart. Elements inside get references of their own,
// so the caller still releases what it copied.
AttributeValue attributeValue(CFTypeRef value);

}  // namespace quorvel::macos
