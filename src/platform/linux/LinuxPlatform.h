#pragma once

// A Linux desktop on X11: the window list, the active window and activation from the X server
// and the window manager's conventions, input through XTEST, and the permissions read from
// what can be reached. Without a display it answers like a machine without a desktop: no
// windows, no frontmost application, neither permission, and event constructors that fail.
// Accessibility goes through AT-SPI, with the X server telling what only it knows of windows.

#include <memory>

#include "platform/Platform.h"
#include "platform/linux/InputSynthesizer.h"
#include "platform/linux/PreciseSleep.h"
#include "platform/linux/WindowServer.h"
#include "platform/linux/XConnection.h"
#include "platform/linux/atspi/AtspiAccessibility.h"

namespace quorvel {

class LinuxPlatform final : public Platform {
  public:
    LinuxPlatform();
    ~LinuxPlatform() override;

    Nanos now() override;
    void sleep(Nanos duration) override;
    void endWaitsWhen(std::function<bool()> requestOver) override;
    bool screenCaptureAllowed() override;
    bool accessibilityTrusted() override;
    std::optional<Pid> frontmostPid() override;
    // The application stays valid only as long as this platform.
    std::unique_ptr<RunningApplication> runningApplication(Pid pid) override;
    Json windowServerList() override;
    // Reads reflect the application as it is: every pause and every input event starts a new
    // round of reads. Like every operation but posting, these end the server grab that the
    // frontmost query began: an application asked about its elements needs the X server.
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
    void setUnicodeString(Event& event, std::u16string_view text) override;
    void post(const Event& event) override;
    void releaseInput() override;

  private:
    void deliver(const Event& event);
    // Sends a waiting key-up and every request still in the buffer, and ends the server grab.
    void sendQueued();

    x11::XConnection connection_;
    x11::InputSynthesizer input_;
    x11::WindowOwners owners_;
    atspi::AtspiAccessibility accessibility_;
    PreciseSleep sleep_;
};

}  // namespace quorvel
