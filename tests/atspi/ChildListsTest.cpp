#include <gtest/gtest.h>

#include "platform/linux/atspi/ChildLists.h"

namespace quorvel::atspi {
namespace {

std::pair<std::string, AccessibleNode> item(std::string path, std::string parent,
                                            std::int32_t index, std::int32_t childCount) {
    AccessibleNode node;
    node.parentPath = std::move(parent);
    node.indexInParent = index;
    node.childCount = childCount;
    return {std::move(path), std::move(node)};
}

using Lists = std::unordered_map<std::string, std::vector<std::string>>;

TEST(ChildLists, OnlyListsTheListTellsCompletely) {
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, AccessibleNode>> items;
        Lists lists;
    } cases[] = {
        {"children in index order, whatever the order of the list",
         {item("/w", "/app", 0, 3), item("/c", "/w", 2, 0), item("/a", "/w", 0, 0),
          item("/b", "/w", 1, 0)},
         {{"/w", {"/a", "/b", "/c"}}, {"/a", {}}, {"/b", {}}, {"/c", {}}}},
        {"a child left out of the list",
         {item("/w", "/app", 0, 3), item("/a", "/w", 0, 0), item("/c", "/w", 2, 0)},
         {{"/a", {}}, {"/c", {}}}},
        {"a menu keeps its items to itself: their indexes are -1",
         {item("/menu", "/combo", 0, -1), item("/x", "/menu", -1, 0), item("/y", "/menu", -1, 0)},
         {{"/x", {}}, {"/y", {}}}},
        {"two children claim the same index",
         {item("/w", "/app", 0, 2), item("/a", "/w", 0, 0), item("/b", "/w", 0, 0)},
         {{"/a", {}}, {"/b", {}}}},
        {"more children listed than counted",
         {item("/w", "/app", 0, 1), item("/a", "/w", 0, 0), item("/b", "/w", 1, 0)},
         {{"/a", {}}, {"/b", {}}}},
        {"a table whose cells are not listed", {item("/table", "/w", 0, 20)}, {}},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.what);
        EXPECT_EQ(completeChildLists(each.items), each.lists);
    }
}

}  // namespace
}  // namespace quorvel::atspi
