#pragma once

// The narrow seam between the driver and the desktop it drives. Every operation the driver needs
// from the system is here and nothing else: time and sleep, the two permission queries, the
// frontmost application, running applications, the window server's list, accessibility elements
// and synthesized input events. Implementations live in one folder each under src/platform/.
//
// Conventions shared by every implementation:
// - Coordinates are global logical points with a top-left origin.
// - Nothing here throws: an operation that can fail gives an absent result (an empty optional or a
//   null handle).
// - Handles (elements, events, applications) are owned by whoever received them and released when
//   they go out of scope.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/AttributeValue.h"
#include "platform/Json.h"

namespace quorvel {

using Pid = std::int32_t;

// Time as the platform measures it: nanoseconds from an arbitrary epoch, never going backwards.
using Nanos = std::chrono::nanoseconds;

// An application as the platform's process services know it.
class RunningApplication {
  public:
    virtual ~RunningApplication() = default;
    virtual bool isTerminated() = 0;
    // Asks for the application to come to the front; whether it does shows only later.
    virtual void activate() = 0;
};

enum class MouseEventType { Moved, LeftDown, LeftUp, RightDown, RightUp, LeftDragged };
enum class MouseButton { Left, Right };

struct ScreenPoint {
    double x = 0;
    double y = 0;
};

// A display's area in global logical points, top-left origin.
struct ScreenRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

// A synthesized input event, made by one of the constructors below and owned by its maker.
class Event {
  public:
    virtual ~Event() = default;
};
using EventHandle = std::unique_ptr<Event>;

class Platform {
  public:
    virtual ~Platform() = default;

    // Time. `sleep` blocks the calling thread for the whole duration, even when a signal arrives.
    virtual Nanos now() = 0;
    virtual void sleep(Nanos duration) = 0;

    // Every wait for the desktop's answer (a reply, a connection) ends once `requestOver` gives
    // true, and the operation that waited gives its absent result: another process can keep
    // the desktop from answering for as long as it likes. Until this is called, waits end only
    // with an answer. `releaseInput` waits by its own short bound instead.
    virtual void endWaitsWhen(std::function<bool()> requestOver) { (void)requestOver; }

    // The application whose elements the reads after the next pause are about. A platform may
    // use the pause to reach it (find it, connect to it), reading nothing of its state.
    virtual void expectReadsOf(Pid pid) { (void)pid; }

    // Permissions: true only when already granted; never asks anyone.
    virtual bool screenCaptureAllowed() = 0;
    virtual bool accessibilityTrusted() = 0;

    // The process that receives keyboard input, if any.
    virtual std::optional<Pid> frontmostPid() = 0;
    virtual std::unique_ptr<RunningApplication> runningApplication(Pid pid) = 0;

    // The window server's list of on-screen windows, front to back, desktop excluded: an array of
    // objects keyed "kCGWindowNumber", "kCGWindowOwnerPID", "kCGWindowLayer",
    // "kCGWindowOwnerName", "kCGWindowName" and "kCGWindowBounds" (an object with "X", "Y",
    // "Width" and "Height"). Null when there is no answer. It may be malformed; callers cope.
    virtual Json windowServerList() = 0;
    // The areas of the displays. The pointer cannot be anywhere else: the system moves a
    // pointer sent elsewhere onto the nearest display edge. Empty when there is no answer.
    virtual std::vector<ScreenRect> displayBounds() = 0;

    // Accessibility. Reads wait at most the element's messaging timeout for an answer.
    virtual ElementHandle applicationElement(Pid pid) = 0;
    virtual void setMessagingTimeout(const Element& element, float seconds) = 0;
    virtual std::optional<AttributeValue> copyAttribute(const Element& element,
                                                        std::string_view name) = 0;
    virtual void performAction(const Element& element, std::string_view action) = 0;
    virtual bool elementsEqual(const Element& a, const Element& b) = 0;

    // Input events. Constructors give a null handle when they cannot make the event.
    virtual EventHandle makeMouseEvent(MouseEventType type, ScreenPoint position,
                                       MouseButton button) = 0;
    // Pixel units; wheel 1 is vertical (positive scrolls up), wheel 2 horizontal (positive left).
    virtual EventHandle makePixelScrollEvent(std::int32_t wheel1, std::int32_t wheel2) = 0;
    virtual EventHandle makeKeyboardEvent(std::uint16_t virtualKey, bool keyDown) = 0;
    virtual void setClickState(Event& event, std::int64_t clickState) = 0;
    virtual void setFlags(Event& event, std::uint64_t flags) = 0;
    virtual void setUnicodeString(Event& event, std::u16string_view text) = 0;
    // Whether typing `character` goes key by key; false where the platform hands such text over
    // whole (a paste), which it does best once for a run of them: typing then puts the run on
    // one key-down.
    virtual bool typedByKeys(std::u16string_view character) {
        (void)character;
        return true;
    }
    // Claims the desktop's input for this process against every other driver on the same
    // desktop, so that two batches never interleave their events; false while another holds
    // it. A claim lasts until `releaseInput`, or the end of the process whatever its end.
    virtual bool claimInput() = 0;
    // Delivers the event as if it came from the hardware, to whatever has the focus.
    virtual void post(const Event& event) = 0;
    // Whether an event posted so far did less than it was made for (a character that no key
    // could type, a keyboard changed by someone else under a key press). Once true, stays true.
    virtual bool inputFellShort() = 0;
    // Lets go of every key and button that posted events still hold down and undoes any change
    // that posting made to the input setup, so that nothing stays pressed once the reply is out.
    virtual void releaseInput() = 0;
};

}  // namespace quorvel
