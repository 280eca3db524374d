#pragma once

#include "main/Runtime.h"

namespace quorvel {

// Carries out one request: admission, the actions in order, then the observation. Returns the
// reply object or throws Failure at the first problem; nothing is retried or undone.
Json run(Runtime& runtime, const Json& request);

}  // namespace quorvel
