// The JSON lines, exactly as the MCP server reads them.

#include <gtest/gtest.h>

#include "capture/Report.h"

namespace quorvel::capture {
namespace {

TEST(Report, TheInfoLineHasItsKeysInOrder) {
    CapturePlan plan{{10, 20, 1000, 50}, 640, 32, 0.64};
    EXPECT_EQ(infoLine(plan),
              "{\"ok\":true,\"x\":10,\"y\":20,\"width\":1000,\"height\":50,\"scale\":0.64,"
              "\"png_width\":640,\"png_height\":32}\n");
}

TEST(Report, TheErrorLineEscapesAndReplacesWhatIsNotUtf8) {
    EXPECT_EQ(errorLine("unknown option '\"\xff'"),
              "{\"ok\":false,\"error\":\"unknown option '\\\"\xEF\xBF\xBD'\"}\n");
}

}  // namespace
}  // namespace quorvel::capture
