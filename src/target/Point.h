#pragma once

// The check made before every pointer event: the position must lie on a window of the target,
// and that window must be the topmost one there among the windows of all layers.

#include "batch/Batch.h"

namespace quorvel {

constexpr Nanos pointWaitStep = std::chrono::milliseconds(50);

// Whether the first record (front to back) whose readable `bounds` contains `position` belongs
// to `pid`. A position over no window belongs to nobody. Bounds are {"X","Y","Width","Height"}
// in global logical points; a window holds its minimum edges and not its maximum edges.
bool ownsTopmostPoint(const Json& windowRecords, ScreenPoint position, Pid pid);

// Reads `x` and `y` of `action` and returns that position once the target owns it. While another
// window (or none) is there it re-reads the window list every 0.05 s, checking the focus before
// each step, until the batch's `pointWaitUntil`; then it fails naming the window in the way.
// A position off every display is owned by nobody: the pointer cannot go there.
ScreenPoint point(Batch& batch, const Json& action);

// The same test once more, at once and without waiting, right before a press: a window that
// appeared over the position since `point` accepted it would get the press. Fails with the
// same refusal.
void confirmTopmostPoint(Batch& batch, ScreenPoint position);

}  // namespace quorvel
