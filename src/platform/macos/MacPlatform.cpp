#include "platform/macos/MacPlatform.h"

#include <ApplicationServices/ApplicationServices.h>

#include <tuple>

#include "platform/macos/AccessibilityElement.h"
#include "platform/macos/CFValues.h"
#include "platform/macos/MacClock.h"
#include "platform/macos/Workspace.h"

namespace quorvel {

using macos::AccessibilityElement;
using macos::CFHandle;
using macos::QuartzEvent;

namespace {

const AccessibilityElement* accessible(const Element& element) {
    return dynamic_cast<const AccessibilityElement*>(&element);
}

CGEventType quartzType(MouseEventType type) {
    switch (type) {
        case MouseEventType::Moved:
            return kCGEventMouseMoved;
        case MouseEventType::LeftDown:
            return kCGEventLeftMouseDown;
        case MouseEventType::LeftUp:
            return kCGEventLeftMouseUp;
        case MouseEventType::RightDown:
            return kCGEventRightMouseDown;
        case MouseEventType::RightUp:
            return kCGEventRightMouseUp;
        case MouseEventType::LeftDragged:
            return kCGEventLeftMouseDragged;
    }
    return kCGEventMouseMoved;
}

CFHandle<CGEventRef> keyboardEvent(std::uint16_t virtualKey, bool keyDown, CGEventFlags flags) {
    auto event =
        CFHandle<CGEventRef>::adopt(CGEventCreateKeyboardEvent(nullptr, virtualKey, keyDown));
    if (event) {
        CGEventSetFlags(event.get(), flags);
    }
    return event;
}

void setText(CGEventRef event, std::u16string_view text) {
    CGEventKeyboardSetUnicodeString(event, text.size(),
                                    reinterpret_cast<const UniChar*>(text.data()));
}

}  // namespace

Nanos MacPlatform::now() {
    return macos::monotonicNow();
}

void MacPlatform::sleep(Nanos duration) {
    Nanos start = macos::monotonicNow();
    macos::sleepUntil(duration >= Nanos::max() - start ? Nanos::max() : start + duration);
}

bool MacPlatform::screenCaptureAllowed() {
    return CGPreflightScreenCaptureAccess();
}

bool MacPlatform::accessibilityTrusted() {
    return AXIsProcessTrusted() != 0;
}

std::optional<Pid> MacPlatform::frontmostPid() {
    return macos::frontmostApplicationPid();
}

std::unique_ptr<RunningApplication> MacPlatform::runningApplication(Pid pid) {
    return macos::runningApplicationWithPid(pid);
}

Json MacPlatform::windowServerList() {
    // On-screen windows only, desktop elements excluded, front to back.
    auto windows = CFHandle<CFArrayRef>::adopt(CGWindowListCopyWindowInfo(
        kCGWindowListOptionOnScreenOnly | kCGWindowListExcludeDesktopElements, kCGNullWindowID));
    if (!windows) {
        return nullptr;
    }
    return macos::windowRecords(windows.get());
}

ElementHandle MacPlatform::applicationElement(Pid pid) {
    auto application = CFHandle<AXUIElementRef>::adopt(AXUIElementCreateApplication(pid));
    if (!application) {
        return nullptr;
    }
    return std::make_unique<AccessibilityElement>(std::move(application));
}

void MacPlatform::setMessagingTimeout(const Element& element, float seconds) {
    if (const AccessibilityElement* target = accessible(element)) {
        AXUIElementSetMessagingTimeout(target->ref(), seconds);
    }
}

std::optional<AttributeValue> MacPlatform::copyAttribute(const Element& element,
                                                         std::string_view name) {
    const AccessibilityElement* target = accessible(element);
    CFHandle<CFStringRef> attribute = macos::makeString(name);
    if (!target || !attribute) {
        return std::nullopt;
    }
    // A failed read leaves the value as it was: nothing to release.
    CFTypeRef copied = nullptr;
    if (AXUIElementCopyAttributeValue(target->ref(), attribute.get(), &copied) != kAXErrorSuccess) {
        return std::nullopt;
    }
    auto value = CFHandle<CFTypeRef>::adopt(copied);
    if (!value) {
        return std::nullopt;
    }
    return macos::attributeValue(value.get());
}

void MacPlatform::performAction(const Element& element, std::string_view action) {
    const AccessibilityElement* target = accessible(element);
    CFHandle<CFStringRef> name = macos::makeString(action);
    if (target && name) {
        // It may have acted even when it reports an error: the result says nothing sure.
        AXUIElementPerformAction(target->ref(), name.get());
    }
}

bool MacPlatform::elementsEqual(const Element& a, const Element& b) {
    const AccessibilityElement* first = accessible(a);
    const AccessibilityElement* second = accessible(b);
    return first && second && CFEqual(first->ref(), second->ref());
}

EventHandle MacPlatform::makeMouseEvent(MouseEventType type, ScreenPoint position,
                                        MouseButton button) {
    auto event = CFHandle<CGEventRef>::adopt(CGEventCreateMouseEvent(
        nullptr, quartzType(type), CGPointMake(position.x, position.y),
        button == MouseButton::Right ? kCGMouseButtonRight : kCGMouseButtonLeft));
    if (!event) {
        return nullptr;
    }
    auto made = std::make_unique<QuartzEvent>(std::move(event), QuartzEvent::Kind::Mouse);
    made->mouseType = type;
    made->position = position;
    return made;
}

EventHandle MacPlatform::makePixelScrollEvent(std::int32_t wheel1, std::int32_t wheel2) {
    auto event = CFHandle<CGEventRef>::adopt(
        CGEventCreateScrollWheelEvent2(nullptr, kCGScrollEventUnitPixel, 2, wheel1, wheel2, 0));
    if (!event) {
        return nullptr;
    }
    return std::make_unique<QuartzEvent>(std::move(event), QuartzEvent::Kind::Scroll);
}

EventHandle MacPlatform::makeKeyboardEvent(std::uint16_t virtualKey, bool keyDown) {
    CFHandle<CGEventRef> event = keyboardEvent(virtualKey, keyDown, 0);
    if (!event) {
        return nullptr;
    }
    auto made = std::make_unique<QuartzEvent>(std::move(event), QuartzEvent::Kind::Keyboard);
    made->virtualKey = virtualKey;
    made->keyDown = keyDown;
    return made;
}

void MacPlatform::setClickState(Event& event, std::int64_t clickState) {
    if (auto* quartz = dynamic_cast<QuartzEvent*>(&event)) {
        CGEventSetIntegerValueField(quartz->event.get(), kCGMouseEventClickState, clickState);
    }
}

void MacPlatform::setFlags(Event& event, std::uint64_t flags) {
    if (auto* quartz = dynamic_cast<QuartzEvent*>(&event)) {
        quartz->flags = flags;
        CGEventSetFlags(quartz->event.get(), flags);
    }
}

void MacPlatform::setUnicodeString(Event& event, std::u16string_view text) {
    auto* quartz = dynamic_cast<QuartzEvent*>(&event);
    if (!quartz) {
        return;
    }
    std::vector<std::u16string_view> pieces = macos::textPieces(text);
    quartz->leadingText.clear();
    for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
        quartz->leadingText.emplace_back(pieces[i]);
    }
    setText(quartz->event.get(), pieces.empty() ? text : pieces.back());
}

bool MacPlatform::claimInput() {
    return lock_.claim();
}

void MacPlatform::post(const Event& event) {
    const auto* quartz = dynamic_cast<const QuartzEvent*>(&event);
    if (!quartz) {
        return;
    }
    if (!postLeadingText(*quartz)) {
        // Half a character is worse than none: nothing of it goes out.
        fellShort_ = true;
        return;
    }
    CGEventPost(kCGHIDEventTap, quartz->event.get());
    note(*quartz);
}

bool MacPlatform::postLeadingText(const QuartzEvent& event) {
    std::vector<CFHandle<CGEventRef>> presses;
    for (const std::u16string& piece : event.leadingText) {
        presses.push_back(keyboardEvent(event.virtualKey, true, event.flags));
        presses.push_back(keyboardEvent(event.virtualKey, false, event.flags));
        if (!presses[presses.size() - 2] || !presses.back()) {
            return false;
        }
        setText(presses[presses.size() - 2].get(), piece);
    }
    for (const CFHandle<CGEventRef>& press : presses) {
        CGEventPost(kCGHIDEventTap, press.get());
    }
    return true;
}

void MacPlatform::note(const QuartzEvent& event) {
    switch (event.kind) {
        case QuartzEvent::Kind::Keyboard:
            if (event.keyDown) {
                held_.keys.insert(event.virtualKey);
            } else {
                held_.keys.erase(event.virtualKey);
            }
            break;
        case QuartzEvent::Kind::Mouse:
            held_.pointer = event.position;
            if (event.mouseType == MouseEventType::LeftDown ||
                event.mouseType == MouseEventType::LeftUp) {
                held_.left = event.mouseType == MouseEventType::LeftDown;
            }
            if (event.mouseType == MouseEventType::RightDown ||
                event.mouseType == MouseEventType::RightUp) {
                held_.right = event.mouseType == MouseEventType::RightDown;
            }
            break;
        case QuartzEvent::Kind::Scroll:
            break;
    }
}

void MacPlatform::releaseInput() {
    // What cannot be let go of now stays noted for the next try.
    std::erase_if(held_.keys, [](std::uint16_t key) {
        CFHandle<CGEventRef> up = keyboardEvent(key, false, 0);
        if (up) {
            CGEventPost(kCGHIDEventTap, up.get());
        }
        return static_cast<bool>(up);
    });
    for (auto [button, type, quartzButton] :
         {std::tuple{&held_.left, kCGEventLeftMouseUp, kCGMouseButtonLeft},
          std::tuple{&held_.right, kCGEventRightMouseUp, kCGMouseButtonRight}}) {
        if (!*button) {
            continue;
        }
        auto up = CFHandle<CGEventRef>::adopt(CGEventCreateMouseEvent(
            nullptr, type, CGPointMake(held_.pointer.x, held_.pointer.y), quartzButton));
        if (up) {
            CGEventPost(kCGHIDEventTap, up.get());
            *button = false;
        }
    }
    lock_.release();
}

}  // namespace quorvel
