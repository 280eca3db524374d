#pragma once

// Which element of the target has the keyboard focus, and where that was learnt: from the
// application itself, or from the tree already walked for the reply.

#include <optional>

#include "main/Runtime.h"

namespace quorvel {

// The first node of `treeNode`, in post-order (children first to last, then the node), whose
// `AXFocused` is true, copied without its `children`. A descendant thus wins over its ancestor
// and an earlier sibling over a later one. Makes no platform call.
std::optional<Json> focusedTreeSummary(const Json& treeNode);

// Writes both `focused_element` and `focused_element_source` into `reply`, or neither. The
// application's `AXFocusedUIElement`, summarised afresh, is preferred; the walked tree is
// searched only when that names no element.
void addFocusedElement(Runtime& runtime, const Element& application, const Json& walkedTree,
                       Json& reply);

}  // namespace quorvel
