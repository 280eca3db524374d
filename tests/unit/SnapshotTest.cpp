#include <optional>

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

// The pause before the observation: a batch that changes nothing counts the time since the
// process began; any other batch pauses in full after its last action.
TEST_F(Snapshot, ThePauseCountsTheQuietTimeSinceTheStartOnlyWhenNothingWasDone) {
    struct Case {
        const char* request;
        std::optional<Nanos> startedBeforeRun;
        Nanos slept;  // the batch's own pauses and the observation's
    };
    const Case cases[] = {
        {R"({"actions":[]})", std::nullopt, 200ms},
        {R"({"actions":[]})", 30ms, 170ms},
        {R"({"actions":[{"type":"inspect"},{"type":"screenshot"}]})", 150ms, 50ms},
        {R"({"actions":[]})", 350ms, 0ms},
        {R"({"actions":[{"type":"wait","seconds":0.1}]})", 150ms, 300ms},
        {R"({"actions":[{"type":"inspect"},{"type":"wait","seconds":0}]})", 150ms, 200ms},
    };
    for (const Case& each : cases) {
        MemoryDesktop fresh;
        CancellationFlag freshFlag{0};
        Runtime freshRuntime{fresh, freshFlag, {}};
        if (each.startedBeforeRun) {
            freshRuntime.startedAt = fresh.now() - *each.startedBeforeRun;
        }
        run(freshRuntime, Json::parse(each.request));
        EXPECT_EQ(fresh.slept, each.slept) << each.request;
    }
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
