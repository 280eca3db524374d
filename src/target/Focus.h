#pragma once

// Brings the target to the front before any input: activates the application once, raises one of
// its windows once, then polls up to 40 times, 0.05 s apart, until the application is frontmost
// and (when a window was raised) owns the frontmost layer-0 window.

#include <optional>

#include "main/Runtime.h"

namespace quorvel {

enum class HasWindow { No, Yes };

constexpr int focusPolls = 40;
constexpr Nanos focusPollInterval = std::chrono::milliseconds(50);

void focus(Runtime& runtime, Pid pid);

// Waits, polling every 0.05 s until the deadline or a cancellation, while another driver holds
// the desktop's input; then holds it for this process.
void awaitInputTurn(Runtime& runtime);

// Whether the frontmost application is the target and, when the target has a window, the first
// record of the layer-0 list `windowRecords` belongs to it.
bool targetWindowIsRaised(std::optional<Pid> frontmost, const Json& windowRecords, Pid target,
                          HasWindow hasWindow);

}  // namespace quorvel
