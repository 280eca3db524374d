#pragma once

// A complete desktop held in memory, driven on virtual time. Tests script it: the window server's
// raw answer (malformed ones included), running applications, which process is frontmost and when
// that changes, permission states, accessibility trees and constructors that fail. Every posted
// event is recorded with the virtual time at which it was posted. `sleep` only advances the clock,
// firing the scripted changes whose time has come, so a two-second poll runs in microseconds.

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "platform/Platform.h"

namespace quorvel {

using ElementId = int;

// A stored attribute: like AttributeValue, but elements are referred to by id.
struct ElementRef {
    ElementId id;
};
struct StoredValue;
using StoredArray = std::vector<StoredValue>;
struct StoredValue {
    std::variant<OtherValue, std::string, bool, std::int64_t, double, GeometryValue, ElementRef,
                 StoredArray>
        value;

    StoredValue() = default;
    StoredValue(const char* text) : value(std::string(text)) {}
    StoredValue(std::string text) : value(std::move(text)) {}
    StoredValue(bool flag) : value(flag) {}
    StoredValue(int number) : value(std::int64_t{number}) {}
    StoredValue(std::int64_t number) : value(number) {}
    StoredValue(double number) : value(number) {}
    StoredValue(GeometryValue geometry) : value(geometry) {}
    StoredValue(ElementRef element) : value(element) {}
    StoredValue(StoredArray items) : value(std::move(items)) {}
    StoredValue(OtherValue other) : value(other) {}
};

StoredValue pointValue(double x, double y);
StoredValue sizeValue(double width, double height);
StoredValue elementArray(const std::vector<ElementId>& ids);

enum class RecordedEventKind { Mouse, Scroll, Keyboard };

// What a recorded event carries; fields that were never set stay empty.
struct MemoryEventData {
    RecordedEventKind kind = RecordedEventKind::Mouse;
    MouseEventType mouseType = MouseEventType::Moved;
    MouseButton button = MouseButton::Left;
    ScreenPoint position;
    std::int32_t wheel1 = 0;
    std::int32_t wheel2 = 0;
    std::uint16_t virtualKey = 0;
    bool keyDown = false;
    std::optional<std::int64_t> clickState;
    std::optional<std::uint64_t> flags;
    std::optional<std::u16string> text;
};

struct RecordedEvent {
    Nanos time;
    MemoryEventData event;
};

// One line per event, for example "t=0.120 left-down (120,40) state=1".
std::string describe(const RecordedEvent& recorded);

class MemoryDesktop final : public Platform {
  public:
    // --- Scripting -------------------------------------------------------------------------
    // Runs `change` once the virtual clock reaches `when` (at once if it already has).
    void at(Nanos when, std::function<void(MemoryDesktop&)> change);
    void raiseCancellationAt(Nanos when, std::atomic<std::int32_t>& flag);

    bool screenCapture = true;
    bool accessibility = true;
    std::optional<Pid> frontmost;
    // How long the frontmost query takes; scripted changes fire while it waits.
    Nanos frontmostQueryTakes{0};
    // Another driver holds the desktop's input until then.
    Nanos inputHeldElsewhereUntil{0};
    // The raw answer of the window server; Json() (null) is no answer.
    Json windows = Json::array();
    // The displays; none by default, which leaves every point to the window list.
    std::vector<ScreenRect> displays;

    // A running application. By default activating it makes it frontmost at once.
    void addApplication(Pid pid);
    void terminateApplication(Pid pid);
    std::function<void(MemoryDesktop&, Pid)> onActivate = [](MemoryDesktop& desktop, Pid pid) {
        desktop.frontmost = pid;
    };
    std::function<void(MemoryDesktop&, ElementId, std::string_view)> onAction;

    // Accessibility: elements with attributes; an application element per pid.
    ElementId addElement(std::map<std::string, StoredValue> attributes = {});
    void setAttribute(ElementId id, const std::string& name, StoredValue value);
    void setChildren(ElementId id, const std::vector<ElementId>& children);
    void setApplicationElement(Pid pid, ElementId id);
    // Reads of these elements yield nothing after waiting out the messaging timeout, as from an
    // application that does not answer.
    std::set<ElementId> unresponsive;

    // Event constructors refuse to make an event for which this returns true.
    std::function<bool(const MemoryEventData&)> refuseEvent;
    // Posting an event for which this returns true does less than the event was made for.
    std::function<bool(const MemoryEventData&)> fallShort;
    // Characters for which this returns true are handed over whole, not typed key by key.
    std::function<bool(std::u16string_view)> handedOverWhole;

    // --- Observing -------------------------------------------------------------------------
    std::vector<RecordedEvent> events;
    std::string transcript() const;
    std::vector<Pid> activations;
    std::vector<std::string> performedActions;    // "AXRaise 7"
    std::vector<std::string> accessibilityCalls;  // "timeout 7 0.1", "read 7 AXRole"
    bool recordAccessibilityCalls = true;         // off where only speed matters
    int frontmostQueries = 0;
    int windowListQueries = 0;
    Nanos slept{0};

    // --- Platform --------------------------------------------------------------------------
    Nanos now() override { return clock_; }
    void sleep(Nanos duration) override;
    bool screenCaptureAllowed() override { return screenCapture; }
    bool accessibilityTrusted() override { return accessibility; }
    std::optional<Pid> frontmostPid() override;
    std::unique_ptr<RunningApplication> runningApplication(Pid pid) override;
    Json windowServerList() override;
    std::vector<ScreenRect> displayBounds() override { return displays; }
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
    bool typedByKeys(std::u16string_view character) override {
        return !handedOverWhole || !handedOverWhole(character);
    }
    bool claimInput() override { return clock_ >= inputHeldElsewhereUntil; }
    void post(const Event& event) override;
    bool inputFellShort() override { return fellShort_; }
    void releaseInput() override {}

    // Element handles made so far that are still alive; a leak shows as a non-zero count.
    int liveElementHandles() const { return *liveElements_; }
    int liveEventHandles() const { return *liveEvents_; }

  private:
    struct Scheduled {
        Nanos when;
        std::uint64_t order;
        std::function<void(MemoryDesktop&)> change;
    };
    struct App {
        bool terminated = false;
    };

    EventHandle make(const MemoryEventData& data);
    AttributeValue materialise(const StoredValue& stored);
    ElementHandle handleFor(ElementId id);
    void fireDue();

    Nanos clock_{0};
    bool fellShort_ = false;
    std::uint64_t nextOrder_ = 0;
    std::vector<Scheduled> scheduled_;
    std::map<Pid, App> applications_;
    std::vector<std::map<std::string, StoredValue>> elements_;
    std::map<Pid, ElementId> applicationElements_;
    std::map<ElementId, float> timeouts_;
    std::shared_ptr<int> liveElements_ = std::make_shared<int>(0);
    std::shared_ptr<int> liveEvents_ = std::make_shared<int>(0);
};

// A window record as the window server gives it.
Json windowEntry(Pid pid, std::int64_t layer, double x, double y, double width, double height,
                 std::int64_t number = 0, const std::string& owner = "",
                 const std::string& name = "");

}  // namespace quorvel
