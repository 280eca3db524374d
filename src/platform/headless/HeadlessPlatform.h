#pragma once

// The truth of a machine without a desktop: real time and real sleep, no windows, no frontmost
// application, neither permission, no accessibility answers, and event constructors that fail.

#include "platform/Platform.h"

namespace quorvel {

class HeadlessPlatform final : public Platform {
  public:
    Nanos now() override;
    void sleep(Nanos duration) override;
    bool screenCaptureAllowed() override { return false; }
    bool accessibilityTrusted() override { return false; }
    std::optional<Pid> frontmostPid() override { return std::nullopt; }
    std::unique_ptr<RunningApplication> runningApplication(Pid) override { return nullptr; }
    Json windowServerList() override { return Json::array(); }
    ElementHandle applicationElement(Pid pid) override;
    void setMessagingTimeout(const Element&, float) override {}
    std::optional<AttributeValue> copyAttribute(const Element&, std::string_view) override {
        return std::nullopt;
    }
    void performAction(const Element&, std::string_view) override {}
    bool elementsEqual(const Element& a, const Element& b) override { return &a == &b; }
    EventHandle makeMouseEvent(MouseEventType, ScreenPoint, MouseButton) override {
        return nullptr;
    }
    EventHandle makePixelScrollEvent(std::int32_t, std::int32_t) override { return nullptr; }
    EventHandle makeKeyboardEvent(std::uint16_t, bool) override { return nullptr; }
    void setClickState(Event&, std::int64_t) override {}
    void setFlags(Event&, std::uint64_t) override {}
    void setUnicodeString(Event&, std::u16string_view) override {}
    void post(const Event&) override {}
};

}  // namespace quorvel
