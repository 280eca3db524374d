#pragma once

// The replies of AT-SPI calls, turned into the driver's records. Each checks the reply's
// signature first and gives nothing for a reply of another shape.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/linux/atspi/AccessibleNode.h"
#include "platform/linux/atspi/DBusHandles.h"
#include "platform/linux/atspi/ObjectRef.h"

namespace quorvel::atspi {

// org.a11y.atspi.Cache.GetItems: every object the application lists, with its path.
std::vector<std::pair<std::string, AccessibleNode>> parseCacheItems(DBusMessage* reply);

// One object described by its Name and Description properties (each a Properties.Get), GetRole
// ("u"), GetState ("au") and GetInterfaces ("as"). Nothing unless the role and the state came.
// Without the interfaces (null), every interface counts as present.
std::optional<AccessibleNode> parseDescription(DBusMessage* name, DBusMessage* description,
                                               DBusMessage* role, DBusMessage* state,
                                               DBusMessage* interfaces);

// Properties.Get of a string property ("v" holding "s") and of an integer one ("v" holding "i").
std::optional<std::string> parsePropertyString(DBusMessage* reply);
std::optional<std::int32_t> parsePropertyInteger(DBusMessage* reply);

// GetChildren and Collection.GetMatches ("a(so)").
std::vector<ObjectRef> parseReferences(DBusMessage* reply);
// GetChildAtIndex ("(so)").
std::optional<ObjectRef> parseReference(DBusMessage* reply);

// Component.GetExtents ("(iiii)").
std::optional<Extents> parseExtents(DBusMessage* reply);

// Text.GetText and GetApplicationBusAddress ("s").
std::optional<std::string> parseText(DBusMessage* reply);

// Properties.Get of Value.CurrentValue ("v" holding a double).
std::optional<double> parseCurrentValue(DBusMessage* reply);

// GetConnectionUnixProcessID ("u") and GetRole.
std::optional<std::uint32_t> parseUnsigned(DBusMessage* reply);

// ListActivatableNames ("as").
std::optional<std::vector<std::string>> parseStrings(DBusMessage* reply);

// NameHasOwner ("b").
std::optional<bool> parseBoolean(DBusMessage* reply);

}  // namespace quorvel::atspi
