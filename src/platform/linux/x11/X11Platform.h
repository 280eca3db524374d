#pragma once

// A Linux desktop on X11: the window list, the active window and activation from the X server
// and the window manager's conventions, input through XTEST, and the permissions read from
// what can be reached. Without a display it answers like a machine without a desktop: no
// windows, no frontmost application, neither permission, and event constructors that fail.
// Accessibility goes through AT-SPI, with the X server telling what only it knows of windows.

#include <memory>

#include "platform/Platform.h"
#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/common/PreciseSleep.h"
#include "platform/linux/x11/InputClaim.h"
#include "platform/linux/x11/InputSynthesizer.h"
#include "platform/linux/x11/WindowServer.h"
#include "platform/linux/x11/XConnection.h"

namespace quorvel {

class X11Platform final : public Platform {
  public:
    X11Platform();
    ~X11Platform() override;

    Nanos now() override;
    void sleep(Nanos duration) override;
    void endWaitsWhen(std::function<bool()> requestOver) override;
    void expectReadsOf(Pid pid) override;
    bool screenCaptureAllowed() override;
    bool accessibilityTrusted() override;
    // The answer holds until the next event is posted: the X server stays grabbed until then,
    // or until an operation that needs other clients (a pause, an accessibility read). Another
    // client's active keyboard or pointer grab takes the keyboard from every application but
    // the one whose popup is on top.
    std::optional<Pid> frontmostPid() override;
    // The application stays valid only as long as this platform.
    std::unique_ptr<RunningApplication> runningApplication(Pid pid) override;
    // These two keep the grab that the frontmost query began: what they answer still holds
    // when the press they were asked for is posted.
    Json windowServerList() override;
    std::vector<ScreenRect> displayBounds() override;
    // Reads reflect the application as it is: every pause and every input event starts a new
    // round of reads. These end the server grab that the frontmost query began: an
    // application asked about its elements needs the X server.
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
    bool claimInput() override;
    void post(const Event& event) override;
    bool inputFellShort() override;
    void releaseInput() override;

  private:
    void deliver(const Event& event);
    bool requestIsOver() const;
    // From now on the X server's answers are awaited for a short while at most.
    void boundWaits();
    // Sends a waiting key-up and every request still in the buffer, and ends the server grab.
    void sendQueued();
    // The same but for the grab, for questions that only the X server answers.
    void sendWithoutUngrabbing();

    std::function<bool()> requestOver_;
    x11::XConnection connection_;
    x11::InputSynthesizer input_;
    x11::WindowOwners owners_;
    x11::GrabProbe grabs_;
    x11::InputClaim claim_{connection_};
    // The window list read last since the last pause or event: where the accessibility tree of
    // the same observation places its windows, without asking the server again.
    std::optional<Json> listedThisRound_;
    atspi::AtspiAccessibility accessibility_;
    PreciseSleep sleep_;
};

}  // namespace quorvel
