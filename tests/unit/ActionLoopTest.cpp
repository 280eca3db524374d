#include "DesktopTest.h"

namespace quorvel {
namespace {

class ActionLoop : public DesktopTest {};

constexpr Nanos snapshotPause = 200ms;

TEST_F(ActionLoop, WaitIsClampedAndDefaulted) {
    struct Case {
        const char* seconds;  // "" when absent
        Nanos slept;
    };
    const Case cases[] = {
        {"5", 2s}, {"2.0", 2s},      {"1", 1s},       {"0.25", 250ms}, {"-1", 0s},
        {"0", 0s}, {"\"1\"", 500ms}, {"null", 500ms}, {"[1]", 500ms},  {"", 500ms},
    };
    for (const Case& c : cases) {
        MemoryDesktop fresh;
        CancellationFlag freshFlag{0};
        Runtime freshRuntime{fresh, freshFlag, {}};
        std::string action = *c.seconds
                                 ? std::string(R"({"type":"wait","seconds":)") + c.seconds + "}"
                                 : std::string(R"({"type":"wait"})");
        run(freshRuntime, Json::parse(R"({"actions":[)" + action + "]}"));
        EXPECT_EQ(fresh.slept, c.slept + snapshotPause) << c.seconds;
    }
}

TEST_F(ActionLoop, UnsupportedTypesAreRefusedWhenReached) {
    struct Case {
        const char* actions;
        const char* error;
    };
    const Case cases[] = {
        {R"([{}])", "Unsupported action: "},
        {R"([{"type":7}])", "Unsupported action: "},
        {R"([{"type":""}])", "Unsupported action: "},
        {R"([{"type":"Screenshot"}])", "Unsupported action: Screenshot"},
        {R"([{"type":"screenshot "}])", "Unsupported action: screenshot "},
        {R"([{"type":"wait","seconds":1},{"type":"bogus"}])", "Unsupported action: bogus"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(runText(std::string(R"({"actions":)") + c.actions + "}")["error"], c.error)
            << c.actions;
    }
    // The wait before the bogus action was carried out; no observation followed.
    EXPECT_EQ(desktop.slept, 1s);
}

TEST_F(ActionLoop, EmptyBatchGoesStraightToTheObservation) {
    Json reply = runText(R"({"actions":[]})");
    EXPECT_EQ(reply["ok"], true);
    EXPECT_EQ(desktop.slept, snapshotPause);
}

TEST_F(ActionLoop, SignalDuringAWaitStopsTheNextAction) {
    desktop.raiseCancellationAt(300ms, flag);
    Json reply =
        runText(R"({"actions":[{"type":"wait","seconds":1},{"type":"wait","seconds":1}]})");
    EXPECT_EQ(reply["error"], "Computer request cancelled; observe before retrying.");
    EXPECT_EQ(desktop.slept, 1s);  // the first pause ran to its end, the second never began
}

TEST_F(ActionLoop, SignalDuringTheObservationDropsTheReply) {
    desktop.raiseCancellationAt(100ms, flag);  // inside the snapshot's 0.2 s pause
    EXPECT_EQ(runText(R"({"actions":[]})")["error"],
              "Computer request cancelled; observe before retrying.");
}

TEST_F(ActionLoop, DeadlineIsCountedFromTheStartOfRun) {
    desktop.sleep(100s);  // time spent reading the request does not count
    std::string twenty;
    for (int i = 0; i < 20; ++i) {
        twenty += std::string(i ? "," : "") + R"({"type":"wait","seconds":2})";
    }
    // 20 waits of 2 s and the observation: 40.2 s, well within 240 s.
    EXPECT_EQ(runText(R"({"actions":[)" + twenty + "]}")["ok"], true);
}

TEST_F(ActionLoop, DeadlineReportedBeforeTheFlagAndAtTheExactInstant) {
    Nanos start = desktop.now();
    checkCancellation(runtime);  // creates the deadline
    desktop.sleep(240s);
    EXPECT_EQ(desktop.now(), start + 240s);
    flag = 1;
    EXPECT_EQ(failureOf([&] { checkCancellation(runtime); }),
              "Computer request deadline exceeded; observe before retrying.");
}

TEST_F(ActionLoop, DeadlinePassingDuringAnActionStopsTheNextOne) {
    // The deadline is created at t=0; time jumps during the first wait and the third ends past 240
    // s.
    desktop.at(500ms, [](MemoryDesktop& d) { d.sleep(237s); });
    Json reply = runText(R"({"actions":[{"type":"wait","seconds":1},{"type":"wait","seconds":1},)"
                         R"({"type":"wait","seconds":2},{"type":"screenshot"}]})");
    EXPECT_EQ(reply["error"], "Computer request deadline exceeded; observe before retrying.");
}

TEST_F(ActionLoop, SettleDefaultsTo120Milliseconds) {
    settle(runtime);
    EXPECT_EQ(desktop.slept, 120ms);
}

}  // namespace
}  // namespace quorvel
