#pragma once

#include <optional>

#include "main/Runtime.h"

namespace quorvel {

constexpr std::size_t maxActions = 20;
constexpr std::size_t typingBudgetUtf16 = 20000;

// Checks the batch before anything touches the desktop: its shape and size, the typing budget,
// and for batches that send input, both permissions and the pid; then focuses the target.
// Returns the target pid.
std::optional<Pid> admit(Runtime& runtime, const Json& request);

// The request's `pid` when it is a whole number in the 32-bit signed range (12.0 is 12).
std::optional<Pid> targetPidOf(const Json& request);

bool isInputActionType(std::string_view type);

// An action's `type` when it is a string, else the empty string.
std::string actionType(const Json& action);

}  // namespace quorvel
