#pragma once

// One run of the real executable on the virtual desktop: a request in, the reply line, what it
// wrote on standard error and its exit status out.

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "platform/Json.h"

namespace quorvel::e2e {

struct DriverReply {
    Json reply;  // null when the line was not JSON
    std::string line;
    std::string errorOutput;
    int exitStatus = -1;
    std::chrono::nanoseconds elapsed{0};
    // When the run began, and how long after that the reply line was complete (negative
    // without a complete line): the time the host would have acted on the reply.
    std::chrono::steady_clock::time_point started{};
    std::chrono::nanoseconds lineElapsed{-1};
};

struct DriverOptions {
    // Called once, this long after the request was written (for example to steal the focus).
    std::optional<std::chrono::milliseconds> meanwhileAfter;
    std::function<void(int pid)> meanwhile;
    // The executable to run, when not the one built.
    std::string executable;
};

DriverReply runDriver(const Json& request, const DriverOptions& options = {});

}  // namespace quorvel::e2e
