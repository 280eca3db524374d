#pragma once

// A Wayland desktop whose compositor tells ordinary clients nothing of its windows (GNOME,
// wlroots compositors): no window positions, owners, stacking or activation, so none of the
// guards that keep input on its target can hold. The driver observes what AT-SPI tells and sends
// no input at all: screen capture counts as missing, since the driver cannot see the windows,
// and every input batch is refused before its first event.

#include <functional>

#include "platform/Platform.h"
#include "platform/linux/atspi/AtspiAccessibility.h"
#include "platform/linux/common/PreciseSleep.h"

namespace quorvel {

class WaylandObserverPlatform final : public Platform {
  public:
    WaylandObserverPlatform();

    Nanos now() override;
    void sleep(Nanos duration) override;
    void endWaitsWhen(std::function<bool()> requestOver) override;
    bool screenCaptureAllowed() override { return false; }
    bool accessibilityTrusted() override;
    std::optional<Pid> frontmostPid() override { return std::nullopt; }
    std::unique_ptr<RunningApplication> runningApplication(Pid pid) override;
    Json windowServerList() override { return Json::array(); }
    std::vector<ScreenRect> displayBounds() override { return {}; }
    ElementHandle applicationElement(Pid pid) override;
    void setMessagingTimeout(const Element& element, float seconds) override;
    std::optional<AttributeValue> copyAttribute(const Element& element,
                                                std::string_view name) override;
    void performAction(const Element&, std::string_view) override {}
    bool elementsEqual(const Element& a, const Element& b) override;
    EventHandle makeMouseEvent(MouseEventType, ScreenPoint, MouseButton) override {
        return nullptr;
    }
    EventHandle makePixelScrollEvent(std::int32_t, std::int32_t) override { return nullptr; }
    EventHandle makeKeyboardEvent(std::uint16_t, bool) override { return nullptr; }
    void setClickState(Event&, std::int64_t) override {}
    void setFlags(Event&, std::uint64_t) override {}
    void setUnicodeString(Event&, std::u16string_view) override {}
    bool claimInput() override { return false; }
    void post(const Event&) override {}
    bool inputFellShort() override { return false; }
    void releaseInput() override {}

  private:
    bool requestIsOver() const { return requestOver_ && requestOver_(); }

    std::function<bool()> requestOver_;
    atspi::AtspiAccessibility accessibility_;
    PreciseSleep sleep_;
};

}  // namespace quorvel
