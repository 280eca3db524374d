#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "observe/BoundedTree.h"

namespace quorvel {
namespace {

// A tree of numbered nodes: node -> its children, in order. Absent nodes are leaves.
using Shape = std::map<int, std::vector<int>>;

Shape fan(int count) {
    Shape shape;
    for (int i = 1; i <= count; ++i) {
        shape[0].push_back(i);
    }
    return shape;
}

// `levels` nodes, each the only child of the one before.
Shape chain(int levels) {
    Shape shape;
    for (int i = 0; i + 1 < levels; ++i) {
        shape[i] = {i + 1};
    }
    return shape;
}

// A chain of `levels` nodes, each of which also has two leaves after its chain child.
Shape comb(int levels) {
    Shape shape = chain(levels);
    int next = levels;
    for (int i = 0; i < levels; ++i) {
        shape[i].push_back(next++);
        shape[i].push_back(next++);
    }
    return shape;
}

// Every node down to `levels` levels has `branching` children.
Shape full(int branching, int levels) {
    Shape shape;
    int next = 1;
    std::vector<int> level = {0};
    for (int l = 1; l < levels; ++l) {
        std::vector<int> below;
        for (int parent : level) {
            for (int b = 0; b < branching; ++b) {
                shape[parent].push_back(next);
                below.push_back(next++);
            }
        }
        level = below;
    }
    return shape;
}

// {"n": i} for each of the nodes `from` to `to`, as child records.
Json numbered(int from, int to) {
    Json records = Json::array();
    for (int i = from; i <= to; ++i) {
        records.push_back({{"n", i}});
    }
    return records;
}

// One walk of a shape, counting what the walk asked for.
struct Walk {
    const Shape& shape;
    int cancelFromCall = 0;  // the first call of `cancelled` that answers true; 0 for never
    int cancelledCalls = 0;
    int summaries = 0;
    int childrenReads = 0;
    bool summarisedAfterCancellation = false;

    Json run(int depth, int& budget) {
        return boundedTree<int>(
            0, depth, budget,
            {.cancelled =
                 [this] {
                     ++cancelledCalls;
                     return cancelFromCall != 0 && cancelledCalls >= cancelFromCall;
                 },
             .summary =
                 [this](const int& node) {
                     ++summaries;
                     summarisedAfterCancellation |=
                         cancelFromCall != 0 && cancelledCalls >= cancelFromCall;
                     return Json{{"n", node}};
                 },
             .children =
                 [this](const int& node) {
                     ++childrenReads;
                     auto found = shape.find(node);
                     return found == shape.end() ? std::vector<int>{} : found->second;
                 }});
    }
};

int summarisedNodes(const Json& record) {
    int count = record.contains("n") ? 1 : 0;
    if (record.contains("children")) {
        for (const Json& child : record["children"]) {
            count += summarisedNodes(child);
        }
    }
    return count;
}

TEST(BoundedTree, BoundsAreMarkedWhereTheyCutTheWalk) {
    struct Case {
        const char* name;
        Shape shape;
        int depth;
        int budget;
        Json expected;
        int left;
    };
    const Shape small = {{0, {1, 2}}, {1, {3, 4}}};
    const Case cases[] = {
        {"leaf", {}, 0, 5, Json::parse(R"({"n":0})"), 4},
        {"no budget", small, 0, 0, Json::parse(R"({"truncated":true})"), 0},
        {"negative budget", small, 0, -3, Json::parse(R"({"truncated":true})"), -3},
        {"budget of one at a root with children", small, 0, 1,
         Json::parse(R"({"n":0,"truncated":true})"), 0},
        {"budget runs out in a deep first subtree", small, 0, 3,
         Json::parse(R"({"n":0,"children":[{"n":1,"children":[{"n":3}],"truncated":true}],
                         "truncated":true})"),
         0},
        {"budget exactly enough", small, 0, 5,
         Json::parse(R"({"n":0,"children":[{"n":1,"children":[{"n":3},{"n":4}]},{"n":2}]})"), 0},
        {"depth limit with children", small, 16, 5, Json::parse(R"({"n":0,"truncated":true})"), 4},
        {"depth limit without children", {}, 16, 5, Json::parse(R"({"n":0})"), 4},
        {"past the depth limit", small, 40, 5, Json::parse(R"({"n":0,"truncated":true})"), 4},
        {"one level above the limit", chain(3), 15, 5,
         Json::parse(R"({"n":0,"children":[{"n":1,"truncated":true}]})"), 3},
        {"80 children and budget", fan(80), 0, 100, {{"n", 0}, {"children", numbered(1, 80)}}, 19},
        {"81 children and budget",
         fan(81),
         0,
         100,
         {{"n", 0}, {"children", numbered(1, 80)}, {"truncated", true}},
         19},
        {"81 children, budget for root and 80",
         fan(81),
         0,
         81,
         {{"n", 0}, {"children", numbered(1, 80)}, {"truncated", true}},
         0},
        {"80 children, budget for root and 80",
         fan(80),
         0,
         81,
         {{"n", 0}, {"children", numbered(1, 80)}},
         0},
        {"80 children, budget runs out",
         fan(80),
         0,
         10,
         {{"n", 0}, {"children", numbered(1, 9)}, {"truncated", true}},
         0},
        {"81 children, budget runs out: marked once",
         fan(81),
         0,
         10,
         {{"n", 0}, {"children", numbered(1, 9)}, {"truncated", true}},
         0},
    };
    for (const Case& c : cases) {
        Walk walk{c.shape};
        int budget = c.budget;
        EXPECT_EQ(walk.run(c.depth, budget), c.expected) << c.name;
        EXPECT_EQ(budget, c.left) << c.name;
    }
}

TEST(BoundedTree, NodesAtTheDepthLimitAreSummarisedAndHaveTheirChildrenRead) {
    // Seventeen levels from depth 0 to 16 are summarised; the eighteenth is only counted.
    for (int levels : {17, 18, 30}) {
        Walk walk{chain(levels)};
        int budget = 180;
        Json result = walk.run(0, budget);
        EXPECT_EQ(walk.summaries, 17) << levels;
        EXPECT_EQ(walk.childrenReads, 17) << levels;
        const Json* deepest = &result;
        for (int depth = 0; depth < 16; ++depth) {
            EXPECT_FALSE(deepest->contains("truncated")) << levels << " at " << depth;
            deepest = &(*deepest)["children"][0];
        }
        Json expected = {{"n", 16}};
        if (levels > 17) {
            expected["truncated"] = true;
        }
        EXPECT_EQ(*deepest, expected) << levels;
    }
}

TEST(BoundedTree, SummariesNeverExceedTheBudgetAndTheRemainderIsExact) {
    const std::pair<const char*, Shape> shapes[] = {
        {"chain", chain(40)},
        {"wide fan", fan(100)},
        {"full ternary", full(3, 6)},
        {"comb, deeper than the limit", comb(30)},
    };
    for (const auto& [name, shape] : shapes) {
        for (int start : {-1, 0, 1, 2, 17, 80, 81, 180, 5000}) {
            Walk walk{shape};
            int budget = start;
            Json result = walk.run(0, budget);
            int spent = std::max(start, 0) - std::max(budget, 0);
            EXPECT_LE(walk.summaries, std::max(start, 0)) << name << " " << start;
            EXPECT_EQ(budget, start - walk.summaries) << name << " " << start;
            EXPECT_EQ(spent, walk.summaries) << name << " " << start;
            EXPECT_EQ(summarisedNodes(result), walk.summaries) << name << " " << start;
        }
    }
    // With budget to spare, the bounds alone decide: 17 levels of a chain, root and 80 children.
    const std::pair<Shape, int> whole[] = {{chain(40), 17}, {fan(100), 81}, {full(3, 6), 364}};
    for (const auto& [shape, nodes] : whole) {
        Walk walk{shape};
        int budget = 5000;
        walk.run(0, budget);
        EXPECT_EQ(walk.summaries, nodes);
    }
}

TEST(BoundedTree, CancellationStopsTheWalkAtEachCheckPoint) {
    // Calls of `cancelled` in order: 1 entering 0, 2 after its summary, 3 before child 1,
    // 4 entering 1, 5 after its summary, 6 before child 3, 7 entering 3, 8 after its summary,
    // 9 before child 2, 10 entering 2, 11 after its summary.
    const Shape shape = {{0, {1, 2}}, {1, {3}}};
    struct Case {
        int cancelFromCall;
        const char* expected;
        int summaries;
        int childrenReads;
    };
    const Case cases[] = {
        {1, R"({"cancelled":true})", 0, 0},
        {2, R"({"n":0,"cancelled":true})", 1, 0},
        {3, R"({"n":0,"cancelled":true})", 1, 1},
        {4, R"({"n":0,"children":[{"cancelled":true}],"cancelled":true})", 1, 1},
        {5, R"({"n":0,"children":[{"n":1,"cancelled":true}],"cancelled":true})", 2, 1},
        {6, R"({"n":0,"children":[{"n":1,"cancelled":true}],"cancelled":true})", 2, 2},
        // Node 1 has no child left when 3 is cancelled; the root still has node 2 to go.
        {7, R"({"n":0,"children":[{"n":1,"children":[{"cancelled":true}]}],"cancelled":true})", 2,
         2},
        {8,
         R"({"n":0,"children":[{"n":1,"children":[{"n":3,"cancelled":true}]}],
             "cancelled":true})",
         3, 2},
        {9, R"({"n":0,"children":[{"n":1,"children":[{"n":3}]}],"cancelled":true})", 3, 3},
        // The last child stopped: no loop has children left, so no ancestor is marked.
        {10, R"({"n":0,"children":[{"n":1,"children":[{"n":3}]},{"cancelled":true}]})", 3, 3},
        {11, R"({"n":0,"children":[{"n":1,"children":[{"n":3}]},{"n":2,"cancelled":true}]})", 4, 3},
        {0, R"({"n":0,"children":[{"n":1,"children":[{"n":3}]},{"n":2}]})", 4, 4},
    };
    for (const Case& c : cases) {
        Walk walk{shape, c.cancelFromCall};
        int budget = 10;
        EXPECT_EQ(walk.run(0, budget), Json::parse(c.expected)) << c.cancelFromCall;
        EXPECT_EQ(walk.summaries, c.summaries) << c.cancelFromCall;
        EXPECT_EQ(walk.childrenReads, c.childrenReads) << c.cancelFromCall;
        EXPECT_EQ(budget, 10 - c.summaries) << c.cancelFromCall;
        EXPECT_FALSE(walk.summarisedAfterCancellation) << c.cancelFromCall;
    }
}

TEST(BoundedTree, CancellationIsTestedBeforeTheBudget) {
    // Both would stop the loop before child 1; the cancellation is what gets recorded.
    Walk walk{fan(3), 3};
    int budget = 1;
    EXPECT_EQ(walk.run(0, budget), Json::parse(R"({"n":0,"cancelled":true})"));
}

}  // namespace
}  // namespace quorvel
