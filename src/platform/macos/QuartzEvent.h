#pragma once

// A synthesized Quartz event with what the platform must remember of it: what it presses, so
// that nothing stays down after the request, and the text that one event cannot carry.

#include <ApplicationServices/ApplicationServices.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Platform.h"
#include "platform/macos/CFHandle.h"

namespace quorvel::macos {

// The window server delivers about 20 UTF-16 units of an event's string and cuts the rest.
constexpr std::size_t unitsPerEvent = 20;

// `text` in pieces of at most `limit` units (at least 2), cut between code points only, never
// inside a surrogate pair.
std::vector<std::u16string_view> textPieces(std::u16string_view text,
                                            std::size_t limit = unitsPerEvent);

struct QuartzEvent final : public Event {
    enum class Kind { Mouse, Scroll, Keyboard };

    QuartzEvent(CFHandle<CGEventRef> made, Kind madeKind)
        : event(std::move(made)), kind(madeKind) {}

    CFHandle<CGEventRef> event;
    Kind kind;
    MouseEventType mouseType = MouseEventType::Moved;
    ScreenPoint position;
    std::uint16_t virtualKey = 0;
    bool keyDown = false;
    CGEventFlags flags = 0;
    // Text that did not fit on the event: each piece goes out first on a key press of its own.
    std::vector<std::u16string> leadingText;
};

}  // namespace quorvel::macos
