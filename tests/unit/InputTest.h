#pragma once

// A desktop for the input cases, one per table row: the target (pid 42) is frontmost and owns
// the only window (0,0 800x600), and the batch's pointer-wait budget ends at t=2.0. On the way
// out it checks that no event handle outlived its action.

#include <gtest/gtest.h>

#include <string>

#include "FailureOf.h"
#include "batch/Batch.h"
#include "main/Failure.h"
#include "main/Runtime.h"
#include "platform/memory/MemoryDesktop.h"

namespace quorvel {

using namespace std::chrono_literals;

using ActionCase = void (*)(Batch&, const Json&);

inline const std::string lostFocus =
    "Target lost focus; input stopped. Observe again before retrying.";
inline const std::string pastDeadline =
    "Computer request deadline exceeded; observe before retrying.";
inline const std::string cancelled = "Computer request cancelled; observe before retrying.";
inline const std::string notBuilt = "Could not construct input event";

struct InputDesktop {
    static constexpr Pid target = 42;
    static constexpr Pid other = 7;

    MemoryDesktop desktop;
    CancellationFlag flag{0};
    Runtime runtime{desktop, flag, {}};
    Batch batch{runtime, target, 2s};

    InputDesktop() {
        desktop.frontmost = target;
        desktop.windows = Json::array({windowEntry(target, 0, 0, 0, 800, 600, 1, "Editor", "Doc")});
    }
    ~InputDesktop() { EXPECT_EQ(desktop.liveEventHandles(), 0) << "an event handle leaked"; }

    std::string carryOut(ActionCase action, const Json& object) {
        return failureOf([&] { action(batch, object); });
    }

    // Another application takes the front at `when`.
    void loseFocusAt(Nanos when) {
        desktop.at(when, [](MemoryDesktop& d) { d.frontmost = other; });
    }

    // Puts a window of `other` at 100,100 200x100 in front of everything.
    void coverWithOtherWindow(std::int64_t layer = 0) {
        desktop.windows.insert(desktop.windows.begin(),
                               windowEntry(other, layer, 100, 100, 200, 100));
    }

    // Creates the request deadline now (240 s from here) and lets it pass.
    void passDeadline() {
        checkCancellation(runtime);
        desktop.sleep(240s);
    }
};

// A setup step of a table row.
using Script = void (*)(InputDesktop&);
inline void noScript(InputDesktop&) {}

}  // namespace quorvel
