#pragma once

// The desktop of macOS: AppKit's workspace for the frontmost and running applications, Quartz
// window services for the window list, the Accessibility API for elements and Quartz event
// services for input, posted at the HID level from null event sources.

#include <set>

#include "platform/Platform.h"
#include "platform/macos/InputLock.h"
#include "platform/macos/QuartzEvent.h"

namespace quorvel {

class MacPlatform final : public Platform {
  public:
    Nanos now() override;
    void sleep(Nanos duration) override;
    bool screenCaptureAllowed() override;
    bool accessibilityTrusted() override;
    std::optional<Pid> frontmostPid() override;
    std::unique_ptr<RunningApplication> runningApplication(Pid pid) override;
    Json windowServerList() override;
    // None known: the window list alone decides whether a point is the target's. (The displays'
    // areas would come from CGGetActiveDisplayList and CGDisplayBounds.)
    std::vector<ScreenRect> displayBounds() override { return {}; }
    ElementHandle applicationElement(Pid pid) override;
    void setMessagingTimeout(const Element& element, float seconds) override;
    std::optional<AttributeValue> copyAttribute(const Element& element,
                                                std::string_view name) override;
    void performAction(const Element& element, std::string_view action) override;
    bool elementsEqual(const Element& a, const Element& b) override;
    EventHandle makeMouseEvent(MouseEventType type, ScreenPoint position,
                               MouseButton button) override;
    EventHandle makePixelScrollEvent(std::int32_t wheel1, std::int32_t wheel2) override;
    EventHandle makeKeyboardEvent(std::uint16_t virtualKey, bool keyDown) override;
    void setClickState(Event& event, std::int64_t clickState) override;
    void setFlags(Event& event, std::uint64_t flags) override;
    // Text longer than one event carries is split between code points; the pieces before the
    // last go out first as key presses of their own when the event is posted.
    void setUnicodeString(Event& event, std::u16string_view text) override;
    bool claimInput() override;
    void post(const Event& event) override;
    bool inputFellShort() override { return fellShort_; }
    void releaseInput() override;

  private:
    // What posted events hold down, for releaseInput to let go of.
    struct Held {
        std::set<std::uint16_t> keys;
        bool left = false;
        bool right = false;
        ScreenPoint pointer;
    };

    bool postLeadingText(const macos::QuartzEvent& event);
    void note(const macos::QuartzEvent& event);

    Held held_;
    bool fellShort_ = false;
    macos::InputLock lock_;
};

}  // namespace quorvel
