#include "DesktopTest.h"
#include "batch/Admission.h"

namespace quorvel {
namespace {

class Admission : public DesktopTest {};

std::string actionsOf(int count, const std::string& action) {
    std::string list;
    for (int i = 0; i < count; ++i) {
        list += (i ? "," : "") + action;
    }
    return "[" + list + "]";
}

std::string textOfUnits(std::size_t units) {
    return std::string(units, 'a');
}

// Every refusal comes in the order admission tests them, before anything touches the desktop.
TEST_F(Admission, RefusalsComeInOrder) {
    struct Case {
        const char* name;
        std::string request;
        bool screenCapture;
        bool accessibility;
        std::string error;
    };
    const std::string overBudget = R"({"type":"type","text":")" + textOfUnits(20001) + R"("})";
    const Case cases[] = {
        {"no actions", "{}", true, true, "Invalid action batch"},
        {"actions null", R"({"actions":null})", true, true, "Invalid action batch"},
        {"actions object", R"({"actions":{}})", true, true, "Invalid action batch"},
        {"actions string", R"({"actions":"click"})", true, true, "Invalid action batch"},
        {"a number among objects", R"({"actions":[{"type":"wait"},3]})", true, true,
         "Invalid action batch"},
        {"21 valid actions", R"({"actions":)" + actionsOf(21, R"({"type":"screenshot"})") + "}",
         true, true, "Invalid action batch"},
        {"21 actions over budget", R"({"actions":)" + actionsOf(21, overBudget) + "}", false, false,
         "Invalid action batch"},
        {"budget before permissions", R"({"actions":[)" + overBudget + "]}", false, false,
         "Typing budget exceeded; no input sent"},
        {"text on a click counts",
         R"({"actions":[{"type":"click","text":")" + textOfUnits(20001) + R"("}]})", true, true,
         "Typing budget exceeded; no input sent"},
        {"text on an unknown type counts",
         R"({"actions":[{"type":"x","text":")" + textOfUnits(20001) + R"("}]})", true, true,
         "Typing budget exceeded; no input sent"},
        {"screen recording before accessibility", R"({"actions":[{"type":"focus"}],"pid":42})",
         false, false, "Screen Recording permission is missing. No input sent."},
        {"accessibility", R"({"actions":[{"type":"focus"}],"pid":42})", true, false,
         "Accessibility permission is missing for Quorvel. No input sent."},
        {"no pid", R"({"actions":[{"type":"focus"}]})", true, true,
         "pid is required for input; select it from the windows observation"},
        {"pid as string", R"({"actions":[{"type":"move"}],"pid":"42"})", true, true,
         "pid is required for input; select it from the windows observation"},
        {"pid with a fraction", R"({"actions":[{"type":"move"}],"pid":12.5})", true, true,
         "pid is required for input; select it from the windows observation"},
        {"pid beyond 32 bits", R"({"actions":[{"type":"move"}],"pid":2147483648})", true, true,
         "pid is required for input; select it from the windows observation"},
        {"pid true", R"({"actions":[{"type":"move"}],"pid":true})", true, true,
         "pid is required for input; select it from the windows observation"},
        {"pid of no process", R"({"actions":[{"type":"focus"}],"pid":7})", true, true,
         "Target process no longer exists"},
    };
    for (const Case& c : cases) {
        MemoryDesktop fresh;
        CancellationFlag freshFlag{0};
        Runtime freshRuntime{fresh, freshFlag, {}};
        fresh.screenCapture = c.screenCapture;
        fresh.accessibility = c.accessibility;
        std::string error = failureOf([&] { run(freshRuntime, Json::parse(c.request)); });
        EXPECT_EQ(error, c.error) << c.name;
        EXPECT_TRUE(fresh.activations.empty()) << c.name;
        EXPECT_TRUE(fresh.events.empty()) << c.name;
    }
}

TEST_F(Admission, TypingBudgetCountsUtf16CodeUnitsAcrossAllActions) {
    desktop.screenCapture = false;                 // permissions are never reached by these batches
    const std::string emoji = "\xF0\x9F\x98\x80";  // two code units
    std::string half;
    for (int i = 0; i < 5000; ++i) {
        half += emoji;
    }
    // 10000 + 10000 units pass; one more unit fails. A text that is a number counts 0.
    std::string exact = R"({"actions":[{"type":"wait","seconds":0,"text":")" + half +
                        R"("},{"type":"screenshot","text":")" + half +
                        R"("},{"type":"inspect","text":7}]})";
    EXPECT_EQ(runText(exact)["ok"], true);
    std::string over = R"({"actions":[{"type":"wait","seconds":0,"text":")" + half +
                       R"("},{"type":"screenshot","text":")" + half + R"(b"}]})";
    EXPECT_EQ(runText(over)["error"], "Typing budget exceeded; no input sent");
}

TEST_F(Admission, TwentyActionsAreAccepted) {
    std::string request = R"({"actions":)" + actionsOf(20, R"({"type":"wait","seconds":0})") + "}";
    EXPECT_EQ(runText(request)["ok"], true);
}

TEST_F(Admission, ObserveOnlyBatchesNeedNoPermissionPidOrFocus) {
    desktop.screenCapture = false;
    desktop.accessibility = false;
    Json reply = runText(
        R"({"actions":[{"type":"screenshot"},{"type":"inspect"},{"type":"wait","seconds":0}]})");
    EXPECT_EQ(reply["ok"], true);
    EXPECT_TRUE(desktop.activations.empty());
    // A capitalised type is not an input type: no permission check, then the loop refuses it.
    EXPECT_EQ(runText(R"({"actions":[{"type":"Click"}]})")["error"], "Unsupported action: Click");
}

TEST_F(Admission, PidIsReadAsAWholeNumberEvenWithoutInput) {
    struct Case {
        const char* pid;
        std::optional<Pid> expected;
    };
    const Case cases[] = {
        {"12", 12},
        {"12.0", 12},
        {"-0.0", 0},
        {"-2147483648", INT32_MIN},
        {"2147483647", INT32_MAX},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"1e300", std::nullopt},
        {"12.5", std::nullopt},
        {"\"12\"", std::nullopt},
        {"null", std::nullopt},
        {"[12]", std::nullopt},
        {"false", std::nullopt},
    };
    for (const Case& c : cases) {
        Json request = Json::parse(std::string(R"({"pid":)") + c.pid + "}");
        EXPECT_EQ(targetPidOf(request), c.expected) << c.pid;
    }
    Json reply = runText(R"({"actions":[],"pid":12.0})");
    EXPECT_EQ(reply["accessibility_tree"], Json::object());
}

TEST_F(Admission, FocusRunsOnceForAnInputBatch) {
    addFocusedTarget();
    Json reply = runText(R"({"actions":[{"type":"focus"},{"type":"focus"}],"pid":42})");
    EXPECT_EQ(reply["ok"], true);
    EXPECT_EQ(desktop.activations, std::vector<Pid>{target});
    EXPECT_EQ(desktop.performedActions.size(), 1u);
}

TEST_F(Admission, CancellationBeforeRunWinsOverEveryOtherCheck) {
    flag = 1;
    EXPECT_EQ(runText("{}")["error"], "Computer request cancelled; observe before retrying.");
}

}  // namespace
}  // namespace quorvel
