#include "DesktopTest.h"
#include "observe/Snapshot.h"

namespace quorvel {
namespace {

class Snapshot : public DesktopTest {};

TEST_F(Snapshot, FixedPartReportsTheDesktopAsItIsAfterThePause) {
    desktop.windows = Json::array({windowEntry(5, 0, 1, 2, 3, 4, 11, "Mail", "Inbox"),
                                   windowEntry(6, 25, 0, 0, 10, 10, 12, "Dock", "")});
    desktop.screenCapture = false;
    desktop.accessibility = true;
    desktop.frontmost = 5;
    desktop.at(100ms, [](MemoryDesktop& d) { d.accessibility = false; });
    Json reply = observationSnapshot(runtime, std::nullopt);
    EXPECT_EQ(reply, Json::parse(R"({
        "ok": true,
        "windows": [{"window_id": 11, "pid": 5, "layer": 0, "app": "Mail", "title": "Inbox",
                     "bounds": {"X": 1.0, "Y": 2.0, "Width": 3.0, "Height": 4.0}}],
        "foreground_pid": 5,
        "accessibility": false,
        "screen_capture": false,
        "coordinate_space": "global macOS logical points; top-left origin"
    })"));
    EXPECT_EQ(desktop.slept, 200ms);
}

TEST_F(Snapshot, NoFrontmostApplicationIsPidZero) {
    EXPECT_EQ(observationSnapshot(runtime, std::nullopt)["foreground_pid"], 0);
}

TEST_F(Snapshot, AReplyIsWrittenWithSortedKeysAtEveryLevel) {
    desktop.windows = Json::array({windowEntry(5, 0, 1, 2, 3, 4, 11, "Mail", "Inbox")});
    std::string text = runText(R"({"actions":[],"pid":5})").dump();
    EXPECT_EQ(text.rfind(R"({"accessibility":true,"accessibility_tree":{},"coordinate_space":)", 0),
              0u)
        << text;
    EXPECT_NE(text.find(R"({"app":"Mail","bounds":{"Height":4.0,"Width":3.0,"X":1.0,"Y":2.0},)"
                        R"("layer":0,"pid":5,"title":"Inbox","window_id":11})"),
              std::string::npos)
        << text;
}

}  // namespace
}  // namespace quorvel
