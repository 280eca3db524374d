#pragma once

// The bounded walk over a target application's accessibility elements.

#include <vector>

#include "main/Runtime.h"

namespace quorvel {

// The walk's cancellation test: the flag first, then the deadline, as `attr` makes them.
bool walkCancelled(Runtime& runtime);

// The element's `AXChildren` when that is an array of elements only, else no children; the
// first child equal to the element's `AXFocusedWindow` is moved to the front, so that an
// application's focused window is walked before the bounds are spent on the others. Both
// attributes are read for every element. The returned list owns the child handles.
std::vector<ElementHandle> accessibilityChildren(Runtime& runtime, const Element& element);

// `boundedTree` over accessibility elements: element summaries as node records, with the
// children above. `element` must not be null; the walk only borrows it.
Json tree(Runtime& runtime, const ElementHandle& element, int depth, int& budget);

}  // namespace quorvel
