#pragma once

// The replies of AT-SPI calls, turned into the driver's records. Each takes the reply exactly as
// it arrived (its outer tuple included) and gives nothing for a reply of another shape.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/atspi/AccessibleNode.h"
#include "platform/linux/atspi/GlibHandles.h"
#include "platform/linux/atspi/ObjectRef.h"

namespace quorvel::atspi {

inline constexpr const char* cacheItemsType = "(a((so)(so)(so)iiassusau))";

// org.a11y.atspi.Cache.GetItems: every object the application lists, with its path.
std::vector<std::pair<std::string, AccessibleNode>> parseCacheItems(GVariant* reply);

// One object described by the Accessible properties ("(a{sv})"), GetRole ("(u)"), GetState
// ("(au)") and GetInterfaces ("(as)"). Nothing unless the role and the state came. Without the
// interfaces (null), every interface counts as present.
std::optional<AccessibleNode> parseDescription(GVariant* properties, GVariant* role,
                                               GVariant* state, GVariant* interfaces);

// GetChildren ("(a(so))") and Collection.GetMatches ("(a(so))").
std::vector<ObjectRef> parseReferences(GVariant* reply);

// Component.GetExtents ("((iiii))").
std::optional<Extents> parseExtents(GVariant* reply);

// Text.GetText ("(s)").
std::optional<std::string> parseText(GVariant* reply);

// Properties.Get of Value.CurrentValue ("(v)" holding a double).
std::optional<double> parseCurrentValue(GVariant* reply);

}  // namespace quorvel::atspi
