#pragma once

// What `run` fixes for one batch and its action cases read: the target pid chosen at admission
// and `pointWaitUntil`, the one 2-second budget shared by every pointer-position wait.

#include <optional>

#include "main/Runtime.h"

namespace quorvel {

constexpr Nanos pointWaitBudget = std::chrono::seconds(2);

struct Batch {
    Runtime& runtime;
    std::optional<Pid> targetPid;
    Nanos pointWaitUntil{0};

    Platform& platform() { return runtime.platform; }
};

}  // namespace quorvel
