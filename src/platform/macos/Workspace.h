#pragma once

// AppKit's workspace services with a C++ face: the only part of the platform that speaks
// Objective-C, through the runtime. The tests put a scripted workspace in place of this file.

#include <memory>
#include <optional>

#include "platform/Platform.h"

namespace quorvel::macos {

// The pid of the application that receives keyboard input, if any.
std::optional<Pid> frontmostApplicationPid();

// The running application of that pid, or null.
std::unique_ptr<RunningApplication> runningApplicationWithPid(Pid pid);

}  // namespace quorvel::macos
