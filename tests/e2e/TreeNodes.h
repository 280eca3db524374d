#pragma once

// Visiting every node of an accessibility tree of a reply.

#include <functional>

#include "platform/Json.h"

namespace quorvel::e2e {

inline void forEachNode(const Json& node, const std::function<void(const Json&)>& visit) {
    visit(node);
    for (const Json& child : node.value("children", Json::array())) {
        forEachNode(child, visit);
    }
}

}  // namespace quorvel::e2e
