#pragma once

// A Wayland desktop whose compositor is KWin 6: the window list, the active window, activation
// and the outputs from a KWin script that reports them over the session bus, input through
// KWin's EIS (libei), and accessibility through AT-SPI with positions placed by KWin's window
// frames. An X client under KWin's XWayland is a window like any other here.

#include <functional>
#include <optional>

#include "platform/Platform.h"
#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/common/PreciseSleep.h"
#include "platform/linux/kwin/ActiveWindow.h"
#include "platform/linux/kwin/ClipboardPaste.h"
#include "platform/linux/kwin/EisInput.h"
#include "platform/linux/kwin/SessionBus.h"
#include "platform/linux/kwin/WindowWatch.h"

namespace quorvel {

class KWinPlatform final : public Platform {
  public:
    KWinPlatform();
    ~KWinPlatform() override;

    Nanos now() override;
    void sleep(Nanos duration) override;
    void endWaitsWhen(std::function<bool()> requestOver) override;
    void expectReadsOf(Pid pid) override;
    // True while KWin reports its windows: the driver sees what it sends input to.
    bool screenCaptureAllowed() override;
    bool accessibilityTrusted() override;
    // The owner of KWin's active window, as of one round trip to KWin.
    std::optional<Pid> frontmostPid() override;
    std::unique_ptr<RunningApplication> runningApplication(Pid pid) override;
    Json windowServerList() override;
    std::vector<ScreenRect> displayBounds() override;
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
    // Characters KWin's keymap has no key for are pasted.
    bool typedByKeys(std::u16string_view character) override;
    bool claimInput() override;
    void post(const Event& event) override;
    bool inputFellShort() override;
    void releaseInput() override;

  private:
    bool requestIsOver() const;
    atspi::WindowLinks windowLinks();
    void paste(std::u16string_view text);

    std::function<bool()> requestOver_;
    std::optional<kwin::SessionBus> bus_;
    kwin::WindowWatch watch_{bus_};
    kwin::ActiveWindow activeWindow_;
    kwin::EisInput input_{bus_};
    kwin::ClipboardPaste clipboard_;
    bool pasteFellShort_ = false;
    bool claimed_ = false;
    atspi::AtspiAccessibility accessibility_;
    PreciseSleep sleep_;
};

}  // namespace quorvel
