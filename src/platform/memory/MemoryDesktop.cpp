#include "platform/memory/MemoryDesktop.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace quorvel {

namespace {

class MemoryElement final : public Element {
  public:
    MemoryElement(ElementId id, std::shared_ptr<int> live) : id(id), live_(std::move(live)) {
        ++*live_;
    }
    ~MemoryElement() override { --*live_; }
    const ElementId id;

  private:
    std::shared_ptr<int> live_;
};

class MemoryEvent final : public Event {
  public:
    MemoryEvent(MemoryEventData data, std::shared_ptr<int> live)
        : data(std::move(data)), live_(std::move(live)) {
        ++*live_;
    }
    ~MemoryEvent() override { --*live_; }
    MemoryEventData data;

  private:
    std::shared_ptr<int> live_;
};

class MemoryApplication final : public RunningApplication {
  public:
    MemoryApplication(MemoryDesktop& desktop, Pid pid, bool terminated)
        : desktop_(desktop), pid_(pid), terminated_(terminated) {}
    bool isTerminated() override { return terminated_; }
    void activate() override {
        desktop_.activations.push_back(pid_);
        if (desktop_.onActivate) {
            desktop_.onActivate(desktop_, pid_);
        }
    }

  private:
    MemoryDesktop& desktop_;
    Pid pid_;
    bool terminated_;
};

Nanos fromSecondsFloat(float seconds) {
    return std::chrono::duration_cast<Nanos>(std::chrono::duration<double>(seconds));
}

ElementId idOf(const Element& element) {
    return static_cast<const MemoryElement&>(element).id;
}

MemoryEventData& dataOf(Event& event) {
    return static_cast<MemoryEvent&>(event).data;
}

std::string seconds(Nanos time) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", static_cast<double>(time.count()) / 1e9);
    return text;
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

const char* mouseName(MouseEventType type) {
    switch (type) {
        case MouseEventType::Moved:
            return "moved";
        case MouseEventType::LeftDown:
            return "left-down";
        case MouseEventType::LeftUp:
            return "left-up";
        case MouseEventType::RightDown:
            return "right-down";
        case MouseEventType::RightUp:
            return "right-up";
        case MouseEventType::LeftDragged:
            return "left-dragged";
    }
    return "?";
}

}  // namespace

StoredValue pointValue(double x, double y) {
    return GeometryValue{GeometryKind::Point, true, x, y};
}

StoredValue sizeValue(double width, double height) {
    return GeometryValue{GeometryKind::Size, true, width, height};
}

StoredValue elementArray(const std::vector<ElementId>& ids) {
    StoredArray items;
    for (ElementId id : ids) {
        items.emplace_back(ElementRef{id});
    }
    return items;
}

std::string describe(const RecordedEvent& recorded) {
    const MemoryEventData& e = recorded.event;
    std::string line = "t=" + seconds(recorded.time) + " ";
    switch (e.kind) {
        case RecordedEventKind::Mouse:
            line += mouseName(e.mouseType);
            if (e.button == MouseButton::Right) {
                line += " button=right";
            }
            line += " (" + number(e.position.x) + "," + number(e.position.y) + ")";
            break;
        case RecordedEventKind::Scroll:
            line +=
                "scroll wheel1=" + std::to_string(e.wheel1) + " wheel2=" + std::to_string(e.wheel2);
            break;
        case RecordedEventKind::Keyboard:
            line += (e.keyDown ? "key-down " : "key-up ") + std::to_string(e.virtualKey);
            break;
    }
    if (e.clickState) {
        line += " state=" + std::to_string(*e.clickState);
    }
    if (e.flags) {
        char text[32];
        std::snprintf(text, sizeof text, " flags=0x%llx",
                      static_cast<unsigned long long>(*e.flags));
        line += text;
    }
    if (e.text) {
        line += " units=";
        for (std::size_t i = 0; i < e.text->size(); ++i) {
            char text[8];
            std::snprintf(text, sizeof text, "%s%04X", i ? "," : "", unsigned((*e.text)[i]));
            line += text;
        }
    }
    return line;
}

std::string MemoryDesktop::transcript() const {
    std::string text;
    for (const RecordedEvent& recorded : events) {
        text += describe(recorded) + "\n";
    }
    return text;
}

void MemoryDesktop::at(Nanos when, std::function<void(MemoryDesktop&)> change) {
    scheduled_.push_back({when, nextOrder_++, std::move(change)});
    fireDue();
}

void MemoryDesktop::raiseCancellationAt(Nanos when, std::atomic<std::int32_t>& flag) {
    at(when, [&flag](MemoryDesktop&) { flag.store(1); });
}

void MemoryDesktop::fireDue() {
    for (;;) {
        auto due = std::min_element(
            scheduled_.begin(), scheduled_.end(), [](const Scheduled& a, const Scheduled& b) {
                return a.when != b.when ? a.when < b.when : a.order < b.order;
            });
        if (due == scheduled_.end() || due->when > clock_) {
            return;
        }
        auto change = std::move(due->change);
        scheduled_.erase(due);
        change(*this);
    }
}

void MemoryDesktop::sleep(Nanos duration) {
    if (duration > Nanos{0}) {
        clock_ += duration;
        slept += duration;
    }
    fireDue();
}

std::optional<Pid> MemoryDesktop::frontmostPid() {
    ++frontmostQueries;
    clock_ += frontmostQueryTakes;
    fireDue();
    return frontmost;
}

void MemoryDesktop::addApplication(Pid pid) {
    applications_[pid] = App{};
}

void MemoryDesktop::terminateApplication(Pid pid) {
    applications_[pid].terminated = true;
}

std::unique_ptr<RunningApplication> MemoryDesktop::runningApplication(Pid pid) {
    auto found = applications_.find(pid);
    if (found == applications_.end()) {
        return nullptr;
    }
    return std::make_unique<MemoryApplication>(*this, pid, found->second.terminated);
}

Json MemoryDesktop::windowServerList() {
    ++windowListQueries;
    return windows;
}

ElementId MemoryDesktop::addElement(std::map<std::string, StoredValue> attributes) {
    elements_.push_back(std::move(attributes));
    return static_cast<ElementId>(elements_.size() - 1);
}

void MemoryDesktop::setAttribute(ElementId id, const std::string& name, StoredValue value) {
    elements_.at(static_cast<std::size_t>(id))[name] = std::move(value);
}

void MemoryDesktop::setChildren(ElementId id, const std::vector<ElementId>& children) {
    setAttribute(id, "AXChildren", elementArray(children));
}

void MemoryDesktop::setApplicationElement(Pid pid, ElementId id) {
    applicationElements_[pid] = id;
}

ElementHandle MemoryDesktop::handleFor(ElementId id) {
    return std::make_unique<MemoryElement>(id, liveElements_);
}

ElementHandle MemoryDesktop::applicationElement(Pid pid) {
    auto found = applicationElements_.find(pid);
    // Like the system's, an application element can be made for any pid; without a tree behind
    // it every read yields nothing.
    return handleFor(found == applicationElements_.end() ? -1 : found->second);
}

void MemoryDesktop::setMessagingTimeout(const Element& element, float seconds) {
    if (recordAccessibilityCalls) {
        accessibilityCalls.push_back("timeout " + std::to_string(idOf(element)) + " " +
                                     number(static_cast<double>(seconds)));
    }
    timeouts_[idOf(element)] = seconds;
}

AttributeValue MemoryDesktop::materialise(const StoredValue& stored) {
    return std::visit(
        [this](const auto& value) -> AttributeValue {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, ElementRef>) {
                return AttributeValue{handleFor(value.id)};
            } else if constexpr (std::is_same_v<T, StoredArray>) {
                AttributeArray items;
                for (const StoredValue& item : value) {
                    items.push_back(materialise(item));
                }
                return AttributeValue{std::move(items)};
            } else {
                return AttributeValue{value};
            }
        },
        stored.value);
}

std::optional<AttributeValue> MemoryDesktop::copyAttribute(const Element& element,
                                                           std::string_view name) {
    ElementId id = idOf(element);
    if (recordAccessibilityCalls) {
        accessibilityCalls.push_back("read " + std::to_string(id) + " " + std::string(name));
    }
    if (unresponsive.count(id)) {
        // The read waits out the element's messaging timeout, then gives up.
        auto timeout = timeouts_.find(id);
        sleep(fromSecondsFloat(timeout == timeouts_.end() ? 6.0f : timeout->second));
        return std::nullopt;
    }
    if (id < 0 || static_cast<std::size_t>(id) >= elements_.size()) {
        return std::nullopt;
    }
    const auto& attributes = elements_[static_cast<std::size_t>(id)];
    auto found = attributes.find(std::string(name));
    if (found == attributes.end()) {
        return std::nullopt;
    }
    return materialise(found->second);
}

void MemoryDesktop::performAction(const Element& element, std::string_view action) {
    performedActions.push_back(std::string(action) + " " + std::to_string(idOf(element)));
    if (onAction) {
        onAction(*this, idOf(element), action);
    }
}

bool MemoryDesktop::elementsEqual(const Element& a, const Element& b) {
    return idOf(a) == idOf(b);
}

EventHandle MemoryDesktop::make(const MemoryEventData& data) {
    if (refuseEvent && refuseEvent(data)) {
        return nullptr;
    }
    return std::make_unique<MemoryEvent>(data, liveEvents_);
}

EventHandle MemoryDesktop::makeMouseEvent(MouseEventType type, ScreenPoint position,
                                          MouseButton button) {
    MemoryEventData data;
    data.kind = RecordedEventKind::Mouse;
    data.mouseType = type;
    data.position = position;
    data.button = button;
    return make(data);
}

EventHandle MemoryDesktop::makePixelScrollEvent(std::int32_t wheel1, std::int32_t wheel2) {
    MemoryEventData data;
    data.kind = RecordedEventKind::Scroll;
    data.wheel1 = wheel1;
    data.wheel2 = wheel2;
    return make(data);
}

EventHandle MemoryDesktop::makeKeyboardEvent(std::uint16_t virtualKey, bool keyDown) {
    MemoryEventData data;
    data.kind = RecordedEventKind::Keyboard;
    data.virtualKey = virtualKey;
    data.keyDown = keyDown;
    return make(data);
}

void MemoryDesktop::setClickState(Event& event, std::int64_t clickState) {
    dataOf(event).clickState = clickState;
}

void MemoryDesktop::setFlags(Event& event, std::uint64_t flags) {
    dataOf(event).flags = flags;
}

void MemoryDesktop::setUnicodeString(Event& event, std::u16string_view text) {
    dataOf(event).text = std::u16string(text);
}

void MemoryDesktop::post(const Event& event) {
    const MemoryEventData& data = static_cast<const MemoryEvent&>(event).data;
    events.push_back({clock_, data});
    if (fallShort && fallShort(data)) {
        fellShort_ = true;
    }
}

Json windowEntry(Pid pid, std::int64_t layer, double x, double y, double width, double height,
                 std::int64_t number, const std::string& owner, const std::string& name) {
    return Json{{"kCGWindowNumber", number},
                {"kCGWindowOwnerPID", pid},
                {"kCGWindowLayer", layer},
                {"kCGWindowOwnerName", owner},
                {"kCGWindowName", name},
                {"kCGWindowBounds", {{"X", x}, {"Y", y}, {"Width", width}, {"Height", height}}}};
}

}  // namespace quorvel
