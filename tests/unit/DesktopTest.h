#pragma once

// A fixture with an in-memory desktop on virtual time, a cancellation flag of its own and a fresh
// runtime: each test is a process of its own.

#include <gtest/gtest.h>

#include <string>

#include "FailureOf.h"
#include "batch/Run.h"
#include "main/Failure.h"
#include "main/Runtime.h"
#include "platform/memory/MemoryDesktop.h"

namespace quorvel {

using namespace std::chrono_literals;

class DesktopTest : public ::testing::Test {
  protected:
    MemoryDesktop desktop;
    CancellationFlag flag{0};
    Runtime runtime{desktop, flag, {}};

    // A target application (pid 42) that is running, frontmost, and owns the frontmost window
    // (0,0 800x600), with an accessibility element whose focused window can be raised.
    static constexpr Pid target = 42;
    void addFocusedTarget() {
        desktop.addApplication(target);
        desktop.frontmost = target;
        desktop.windows = Json::array({windowEntry(target, 0, 0, 0, 800, 600, 1, "Editor", "Doc")});
        ElementId window = desktop.addElement({{"AXRole", "AXWindow"}});
        ElementId application = desktop.addElement({{"AXRole", "AXApplication"}});
        desktop.setAttribute(application, "AXFocusedWindow", ElementRef{window});
        desktop.setApplicationElement(target, application);
    }

    template <class Body>
    static std::string failureOf(Body&& body) {
        return quorvel::failureOf(std::forward<Body>(body));
    }

    // Runs a request given as JSON text: the reply, or {"error": message} for a Failure.
    Json runText(const std::string& requestText) {
        try {
            return run(runtime, Json::parse(requestText));
        } catch (const Failure& failure) {
            return Json{{"error", failure.message}};
        }
    }
};

inline double secondsOf(Nanos time) {
    return static_cast<double>(time.count()) / 1e9;
}

}  // namespace quorvel
