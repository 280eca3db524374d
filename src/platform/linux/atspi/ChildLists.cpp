#include "platform/linux/atspi/ChildLists.h"

#include <algorithm>
#include <cstdint>

namespace quorvel::atspi {

std::unordered_map<std::string, std::vector<std::string>> completeChildLists(
    const std::vector<std::pair<std::string, AccessibleNode>>& items) {
    std::unordered_map<std::string, std::int32_t> counts;
    std::unordered_map<std::string, std::vector<std::pair<std::int32_t, std::string>>> byParent;
    for (const auto& [path, node] : items) {
        counts[path] = node.childCount;
        byParent[node.parentPath].emplace_back(node.indexInParent, path);
    }
    std::unordered_map<std::string, std::vector<std::string>> lists;
    for (const auto& [path, count] : counts) {
        if (count < 0) {
            continue;
        }
        auto& children = byParent[path];
        if (static_cast<std::size_t>(count) != children.size()) {
            continue;
        }
        std::sort(children.begin(), children.end());
        bool contiguous = true;
        for (std::size_t index = 0; index < children.size(); ++index) {
            contiguous = contiguous && children[index].first == static_cast<std::int32_t>(index);
        }
        if (!contiguous) {
            continue;
        }
        std::vector<std::string>& list = lists[path];
        for (auto& child : children) {
            list.push_back(child.second);
        }
    }
    return lists;
}

}  // namespace quorvel::atspi
