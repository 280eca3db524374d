#pragma once

#include <optional>

#include "main/Runtime.h"

namespace quorvel {

constexpr Nanos observationPause = std::chrono::milliseconds(200);
// How many elements of the target one observation summarises at most.
constexpr int snapshotNodeBudget = 180;

// The reply object of every successful request: the layer-0 windows, the frontmost pid, both
// permission states and the coordinate space; with a target pid, its accessibility tree and
// focused element too. It never fails. The pause before it counts from `quietSince` when given
// (nothing was done since then), else from now.
Json observationSnapshot(Runtime& runtime, std::optional<Pid> targetPid,
                         std::optional<Nanos> quietSince = std::nullopt);

}  // namespace quorvel
