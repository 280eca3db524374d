#pragma once

// A depth-first walk of any tree under three bounds (a depth limit, a cap on the children taken
// from each node, and a node budget shared by the whole walk) and under a cancellation test. The
// result marks every place where something was left out: `truncated` where a bound cut the walk
// short, `cancelled` where the test stopped it. Both are only ever written as true.

#include <algorithm>
#include <cstddef>
#include <functional>
#include <vector>

#include "platform/Json.h"

namespace quorvel {

// A node's children are walked only when its own depth is below this.
constexpr int treeDepthLimit = 16;
// Children beyond the first 80 of a node are left out.
constexpr std::size_t childrenPerNode = 80;

// What the walk knows about its nodes.
template <class Node>
struct TreeOperations {
    // True once the walk must stop; tested on entering a node, after its summary and before
    // each child.
    std::function<bool()> cancelled;
    // The JSON object that reports one node.
    std::function<Json(const Node&)> summary;
    // The node's children, in the order they are to be walked. The walk keeps the list, and so
    // the children it owns, until it is done with them.
    std::function<std::vector<Node>(const Node&)> children;
};

// Walks `node`, which lies at `depth`, pre-order. Each summarised node takes one unit of
// `budget`, before its summary; the caller sees what is left. Never fails.
template <class Node>
Json boundedTree(const Node& node, int depth, int& budget, const TreeOperations<Node>& operations) {
    if (operations.cancelled()) {
        return Json{{"cancelled", true}};
    }
    if (budget <= 0) {
        return Json{{"truncated", true}};
    }
    --budget;
    Json record = operations.summary(node);
    if (operations.cancelled()) {
        record["cancelled"] = true;
        return record;
    }
    std::vector<Node> children = operations.children(node);
    if (depth >= treeDepthLimit) {
        // The children were still read: they decide whether anything was left out here.
        if (!children.empty()) {
            record["truncated"] = true;
        }
        return record;
    }
    Json childRecords = Json::array();
    std::size_t walked = std::min(children.size(), childrenPerNode);
    for (std::size_t index = 0; index < walked; ++index) {
        if (operations.cancelled()) {
            record["cancelled"] = true;
            break;
        }
        if (budget <= 0) {
            record["truncated"] = true;
            break;
        }
        childRecords.push_back(boundedTree(children[index], depth + 1, budget, operations));
    }
    if (children.size() > childrenPerNode) {
        record["truncated"] = true;
    }
    if (!childRecords.empty()) {
        record["children"] = std::move(childRecords);
    }
    return record;
}

}  // namespace quorvel
