#pragma once

// The values a macOS host expects, made from what AT-SPI reports.

#include <optional>
#include <string>

#include "platform/AttributeValue.h"
#include "platform/linux/atspi/AccessibleNode.h"
#include "platform/linux/atspi/ObjectRef.h"
#include "platform/linux/atspi/RoleTable.h"

namespace quorvel::atspi {

// True when an object that is showing has a place on screen: its position is not the INT_MIN
// that toolkits give objects that are not laid out.
bool onScreen(bool showing, const Extents& extents);

// `AXPosition`, a point of the top-left corner, and `AXSize`, in global pixels.
AttributeValue positionValue(const Extents& extents);
AttributeValue sizeValue(const Extents& extents);

// `AXValue` of a check box, toggle, radio button or page tab: the integer 1 when checked (or
// pressed, or selected), else 0. Nothing for roles whose value comes from elsewhere.
std::optional<AttributeValue> stateValue(ValueSource source, const AccessibleNode& node);

// An object's text without the U+FFFC characters that stand for its embedded children (links,
// images): those are children of the tree in their own right.
std::string withoutObjectPlaceholders(std::string text);

// The role's name for this node; `hasTextChild` tells a combo box with an entry from a pop-up.
std::string roleName(const AccessibleNode& node, bool hasTextChild);

}  // namespace quorvel::atspi
