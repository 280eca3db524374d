// The driver on GTK 3 applications built to be large (tests/e2e/apps/large.py), each on a desktop
// of its own: the observation shows the first part of a long list and marks it cut, gives a long
// text as its first 1000 characters, and never holds up the application's main loop for more
// than 0.2 s, which the application itself records.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>

#include "../e2e/ExpectReply.h"
#include "../e2e/Requests.h"
#include "../e2e/TreeNodes.h"
#include "../e2e/VirtualDesktop.h"

namespace quorvel::e2e {
namespace {

struct LargeApplication {
    const char* kind;  // as tests/e2e/apps/large.py knows it
    // The role of the children of the long list; none for the text.
    const char* listedRole;
};

// The longest stall the application recorded, in milliseconds.
int longestStall(const std::string& log) {
    std::ifstream stalls(log);
    int longest = 0;
    for (int stall = 0; stalls >> stall;) {
        longest = std::max(longest, stall);
    }
    return longest;
}

std::size_t codePoints(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char byte) {
        return (static_cast<unsigned char>(byte) & 0xC0) != 0x80;
    }));
}

std::size_t nodeCount(const Json& tree) {
    std::size_t count = 0;
    forEachNode(tree, [&](const Json&) { ++count; });
    return count;
}

class LargeApplications : public testing::TestWithParam<LargeApplication> {};

TEST_P(LargeApplications, ObservedWithinTheBoundsWithoutHoldingTheApplicationUp) {
    const LargeApplication& application = GetParam();
    char folder[] = "/tmp/quorvel-large.XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string log = std::string(folder) + "/stalls";
    VirtualDesktop desktop(
        {"env STALL_LOG=" + shellQuoted(log) + ' ' +
         shellQuoted(std::string(QUORVEL_SOURCE_DIR) + "/scripts/launch-app.sh") + " large-" +
         application.kind});
    ASSERT_TRUE(desktop.started());
    std::int32_t pid = desktop.appPids()[0];

    // GTK's bridge registers every object after the window shows and answers nothing meanwhile:
    // 20,000 labels keep it busy for a minute or more, with or without anyone asking.
    Json tree = Json::object();
    auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    while (nodeCount(tree) < 5 && std::chrono::steady_clock::now() < giveUp) {
        tree =
            expectOk(batch(pid, Json::array())).reply.value("accessibility_tree", Json::object());
    }
    ASSERT_GE(nodeCount(tree), 5u) << tree.dump();

    unlink(log.c_str());
    tree = expectOk(batch(pid, Json::array())).reply.value("accessibility_tree", Json::object());
    EXPECT_LT(longestStall(log), 200) << "the observation held the main loop up";
    EXPECT_EQ(kill(pid, 0), 0);

    if (application.listedRole) {
        // The long list: its first 80 children (a table's column headers among them), marked
        // cut.
        bool cutList = false;
        forEachNode(tree, [&](const Json& node) {
            const Json children = node.value("children", Json::array());
            auto listed = std::count_if(children.begin(), children.end(), [&](const Json& child) {
                return child.value("AXRole", "") == application.listedRole;
            });
            cutList = cutList ||
                      (children.size() == 80 && listed >= 70 && node.value("truncated", false));
        });
        EXPECT_TRUE(cutList) << tree.dump();
    } else {
        std::string value;
        forEachNode(tree, [&](const Json& node) {
            if (node.value("AXRole", "") == "AXTextArea") {
                value = node.value("AXValue", "");
            }
        });
        EXPECT_EQ(codePoints(value), 1000u) << value;
        EXPECT_EQ(value.rfind("Grüße aus Köln, 日本語のテキスト, ελληνικά — line 0\n", 0), 0u);
    }
    unlink(log.c_str());
    rmdir(folder);
}

INSTANTIATE_TEST_SUITE_P(Kinds, LargeApplications,
                         testing::Values(LargeApplication{"rows", "AXCell"},
                                         LargeApplication{"labels", "AXStaticText"},
                                         LargeApplication{"text", nullptr},
                                         LargeApplication{"windows", "AXWindow"}),
                         [](const testing::TestParamInfo<LargeApplication>& info) {
                             return std::string(info.param.kind);
                         });

}  // namespace
}  // namespace quorvel::e2e
