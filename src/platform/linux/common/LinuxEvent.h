#pragma once

// What an event made by a Linux platform will do once posted; fields that do not apply to its
// kind stay at their defaults.

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Platform.h"

namespace quorvel {

struct LinuxEvent final : Event {
    enum class Kind { Mouse, Scroll, Keyboard } kind = Kind::Mouse;
    MouseEventType mouseType = MouseEventType::Moved;
    ScreenPoint position;
    std::int32_t wheel1 = 0;
    std::int32_t wheel2 = 0;
    std::uint16_t virtualKey = 0;
    bool keyDown = false;
    std::uint64_t flags = 0;
    std::optional<std::u16string> text;
};

}  // namespace quorvel
