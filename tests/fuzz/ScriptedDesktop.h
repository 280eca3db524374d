#pragma once

// Draws a whole in-memory desktop from bytes: permissions, running applications, the frontmost
// process, the window server's answer (malformed ones included), an accessibility tree (cycles
// included), unresponsive elements, constructors that fail and changes over virtual time.
// Empty bytes give a friendly desktop on which input to pid 42 succeeds.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "main/Runtime.h"
#include "platform/memory/MemoryDesktop.h"

namespace quorvel::fuzz {

constexpr Pid scriptedTarget = 42;

struct ScriptedFaults {
    bool releaseConstructorsMayFail = false;
    // Time that the script itself made pass, as when the machine sleeps.
    std::shared_ptr<Nanos> jumped = std::make_shared<Nanos>(0);
};

ScriptedFaults scriptDesktop(MemoryDesktop& desktop, CancellationFlag& flag,
                             std::span<const std::uint8_t> bytes);

}  // namespace quorvel::fuzz
