#include "observe/FocusedElement.h"

#include <algorithm>

#include "observe/Attr.h"
#include "observe/ElementSummary.h"

namespace quorvel {

namespace {

bool isArrayOfObjects(const Json& value) {
    return value.is_array() && std::all_of(value.begin(), value.end(),
                                           [](const Json& item) { return item.is_object(); });
}

}  // namespace

std::optional<Json> focusedTreeSummary(const Json& treeNode) {
    if (!treeNode.is_object()) {
        return std::nullopt;
    }
    auto children = treeNode.find("children");
    if (children != treeNode.end() && isArrayOfObjects(*children)) {
        for (const Json& child : *children) {
            if (std::optional<Json> found = focusedTreeSummary(child)) {
                return found;
            }
        }
    }
    auto focused = treeNode.find("AXFocused");
    if (focused == treeNode.end() || !focused->is_boolean() || !focused->get<bool>()) {
        return std::nullopt;
    }
    Json copy = treeNode;
    copy.erase("children");
    return copy;
}

void addFocusedElement(Runtime& runtime, const Element& application, const Json& walkedTree,
                       Json& reply) {
    std::optional<AttributeValue> named = attr(runtime, application, "AXFocusedUIElement");
    if (isElement(named)) {
        reply["focused_element"] = elementSummary(runtime, **named->as<ElementHandle>());
        reply["focused_element_source"] = "AXFocusedUIElement";
        return;
    }
    if (std::optional<Json> found = focusedTreeSummary(walkedTree)) {
        reply["focused_element"] = std::move(*found);
        reply["focused_element_source"] = "AXFocused in target tree";
    }
}

}  // namespace quorvel
