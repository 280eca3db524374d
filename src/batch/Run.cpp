#include "batch/Run.h"

#include <algorithm>

#include "batch/Admission.h"
#include "batch/Batch.h"
#include "input/Actions.h"
#include "main/Failure.h"
#include "observe/Snapshot.h"

namespace quorvel {

namespace {

constexpr double defaultWaitSeconds = 0.5;
constexpr double longestWaitSeconds = 2.0;

// Pauses for `seconds` (0.5 when absent or not a number), clamped to 0..2 s. Nothing is checked
// during the pause: the next action's test, or the final check, notices a signal.
void waitAction(Batch& batch, const Json& action) {
    auto seconds = action.find("seconds");
    double pause = seconds != action.end() && seconds->is_number() ? seconds->get<double>()
                                                                   : defaultWaitSeconds;
    pause = std::clamp(pause, 0.0, longestWaitSeconds);
    batch.platform().sleep(fromSeconds(pause));
}

void nothing(Batch&, const Json&) {}

using ActionCase = void (*)(Batch&, const Json&);

struct DispatchRow {
    std::string_view type;
    ActionCase carryOut;
};

// Compared in order, exactly, case included.
constexpr DispatchRow dispatchTable[] = {
    {"screenshot", nothing},  {"inspect", nothing},
    {"focus", nothing},  // its whole effect was the focusing at admission
    {"wait", waitAction},     {"move", moveAction},
    {"click", clickAction},   {"double_click", doubleClickAction},
    {"scroll", scrollAction}, {"drag", dragAction},
    {"type", typeAction},     {"keypress", keypressAction},
};

// Actions that lead only to the observation: a batch of these changes nothing on the desktop.
bool onlyObserves(const Json& actions) {
    return std::all_of(actions.begin(), actions.end(), [](const Json& action) {
        std::string type = actionType(action);
        return type == "screenshot" || type == "inspect";
    });
}

void carryOut(Batch& batch, const Json& action) {
    std::string type = actionType(action);
    for (const DispatchRow& row : dispatchTable) {
        if (row.type == type) {
            row.carryOut(batch, action);
            return;
        }
    }
    fail("Unsupported action: " + type);
}

}  // namespace

Json run(Runtime& runtime, const Json& request) {
    Batch batch{runtime, admit(runtime, request)};
    batch.pointWaitUntil = runtime.platform.now() + pointWaitBudget;
    for (const Json& action : request.at("actions")) {
        checkCancellation(runtime);
        carryOut(batch, action);
    }
    // Starting the process, loading it and reading the request changed nothing on the desktop:
    // after a batch that changes nothing either, that time is part of the pause.
    std::optional<Nanos> quietSince;
    if (onlyObserves(request.at("actions"))) {
        quietSince = runtime.startedAt;
    }
    Json reply = observationSnapshot(runtime, batch.targetPid, quietSince);
    checkCancellation(runtime);  // a deadline or signal during the observation drops the reply
    return reply;
}

}  // namespace quorvel
