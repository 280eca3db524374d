#pragma once

// The one record shape in which the driver reports an element: its role, title, description,
// value, focus state, position and size, keyed by the attribute names themselves.

#include <cstddef>

#include "main/Runtime.h"

namespace quorvel {

// Text values are cut to this many user-perceived characters (extended grapheme clusters).
constexpr std::size_t summaryTextLimit = 1000;

// At most seven reads of `element`, each through `attr`. A key is left out when its read yields
// nothing or a value of a kind the summary does not report; once the request is cancelled or
// past its deadline the remaining keys are all left out. The handle is only borrowed.
Json elementSummary(Runtime& runtime, const Element& element);

}  // namespace quorvel
