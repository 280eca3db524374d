#include "observe/AccessibilityTree.h"

#include <algorithm>
#include <optional>

#include "observe/Attr.h"
#include "observe/BoundedTree.h"
#include "observe/ElementSummary.h"

namespace quorvel {

namespace {

// The handles of an array whose items are all elements; nothing for any other value.
std::vector<ElementHandle> elementsOf(std::optional<AttributeValue> value) {
    std::vector<ElementHandle> elements;
    AttributeArray* items = value ? value->as<AttributeArray>() : nullptr;
    if (!items) {
        return elements;
    }
    for (AttributeValue& item : *items) {
        ElementHandle* element = item.as<ElementHandle>();
        if (!element || !*element) {
            return {};
        }
        elements.push_back(std::move(*element));
    }
    return elements;
}

}  // namespace

bool walkCancelled(Runtime& runtime) {
    return runtime.pastDeadlineOrCancelled();
}

std::vector<ElementHandle> accessibilityChildren(Runtime& runtime, const Element& element) {
    std::vector<ElementHandle> children = elementsOf(attr(runtime, element, "AXChildren"));
    std::optional<AttributeValue> focusedWindow = attr(runtime, element, "AXFocusedWindow");
    if (!isElement(focusedWindow)) {
        return children;
    }
    const Element& focused = **focusedWindow->as<ElementHandle>();
    auto first = std::find_if(children.begin(), children.end(), [&](const ElementHandle& child) {
        return runtime.platform.elementsEqual(*child, focused);
    });
    if (first != children.end()) {
        // Only that child moves; the others keep their order.
        std::rotate(children.begin(), first, first + 1);
    }
    return children;
}

Json tree(Runtime& runtime, const ElementHandle& element, int depth, int& budget) {
    return boundedTree<ElementHandle>(
        element, depth, budget,
        {.cancelled = [&runtime] { return walkCancelled(runtime); },
         .summary =
             [&runtime](const ElementHandle& node) { return elementSummary(runtime, *node); },
         .children =
             [&runtime](const ElementHandle& node) {
                 return accessibilityChildren(runtime, *node);
             }});
}

}  // namespace quorvel
