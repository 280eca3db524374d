#pragma once

// CoreFoundation values as the seam's loosely typed values: the window server's answer as JSON,
// an accessibility attribute as an AttributeValue. Kinds are kept as they came: an integer stays
// an integer, a dictionary an object, and a value of an unexpected type stays unexpected for the
// caller to cope with.

#include <CoreFoundation/CoreFoundation.h>

#include <string>
#include <string_view>

#include "platform/AttributeValue.h"
#include "platform/Json.h"
#include "platform/macos/CFHandle.h"

namespace quorvel::macos {

// A new string of UTF-8 text; null when the text is not valid UTF-8.
CFHandle<CFStringRef> makeString(std::string_view utf8);

// The window server's list: one object per window dictionary with the keys the window list
// reads, converted as they came, as is any other item: strings, numbers, booleans, arrays and
// dictionaries with string keys; null for a value of any other type.
Json windowRecords(CFArrayRef windows);

// An attribute as the driver tells kinds apart. Elements inside get references of their own,
// so the caller still releases what it copied.
AttributeValue attributeValue(CFTypeRef value);

}  // namespace quorvel::macos
