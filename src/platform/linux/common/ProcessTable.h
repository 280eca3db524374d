#pragma once

// Processes as the kernel lists them under /proc.

#include <cstdint>
#include <string_view>

namespace quorvel {

// Whether a line of /proc/PID/stat describes a process that still runs: any state but zombie
// (Z) and dead (X, x). The command name in parentheses may itself hold spaces and parentheses.
bool statDescribesLiveProcess(std::string_view statLine);

bool processIsLive(std::int32_t pid);

}  // namespace quorvel
