#pragma once

// The children of each object, rebuilt from an application's list of objects, where the list
// tells them completely.

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/linux/atspi/AccessibleNode.h"

namespace quorvel::atspi {

// For each listed object whose children the list tells completely (as many children as the
// object counts, at indexes 0 to n-1, none left out), the paths of its children in index order;
// an object that counts no children gets an empty list. Objects that keep their children to
// themselves (a count of -1), or whose children the list tells only in part, get no entry:
// their children must be asked for.
std::unordered_map<std::string, std::vector<std::string>> completeChildLists(
    const std::vector<std::pair<std::string, AccessibleNode>>& items);

}  // namespace quorvel::atspi
