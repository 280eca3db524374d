#pragma once

// Every accessibility read goes through `attr`: nothing is read once the request is cancelled or
// past its deadline, and each read waits at most 0.1 s for the application to answer.

#include <optional>
#include <string_view>

#include "main/Runtime.h"

namespace quorvel {

constexpr float messagingTimeoutSeconds = 0.1f;

// The attribute's value, or nothing when it is unsupported, unreadable, timed out or absent.
std::optional<AttributeValue> attr(Runtime& runtime, const Element& element, std::string_view name);

enum class Geometry { Position, Size };

// A point record {x, y} or a size record {width, height} of doubles, from a geometry value of the
// matching kind with finite numbers (and, for a size, no negative side); nothing otherwise.
std::optional<Json> geometrySummary(const AttributeValue& value, Geometry asked);

bool isElement(const std::optional<AttributeValue>& value);

}  // namespace quorvel
