// Quartz window and event services and the Accessibility API as the fake gives them: a window
// list from data, events recorded as the window server would receive them, and elements that
// answer from the scripted tree within their messaging timeout.

#include <algorithm>

#include "FakeObjects.h"

using namespace quorvel::macfake;

namespace {

// What a read waits when no messaging timeout was set: the process default.
constexpr float defaultTimeoutSeconds = 6.0F;
// The part of an event's string that the window server delivers.
constexpr std::size_t deliveredUnits = 20;

EventObject* eventObject(CGEventRef event) {
    return as<EventObject>(event, EventType);
}

CGEventRef newEvent(CGEventSourceRef source, std::uint32_t type) {
    if (services().refuseEvent(type)) {
        return nullptr;
    }
    EventObject& made = give<EventObject>();
    made.event.type = type;
    made.event.sourceWasNull = source == nullptr;
    return reinterpret_cast<CGEventRef>(&made);
}

CFTypeRef geometry(AXValueType type, double first, double second) {
    GeometryObject& made = give<GeometryObject>();
    made.valueType = type;
    made.first = first;
    made.second = second;
    return &made;
}

CFTypeRef copyOf(const Attribute& attribute) {
    return std::visit(
        [](const auto& value) -> CFTypeRef {
            using T = std::decay_t<decltype(value)>;
            if constexpr (std::is_same_v<T, std::string>) {
                String& string = give<String>();
                string.text = utf16(value);
                return &string;
            } else if constexpr (std::is_same_v<T, bool>) {
                BooleanObject& boolean = give<BooleanObject>();
                boolean.value = value;
                return &boolean;
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                Number& number = give<Number>();
                number.integer = value;
                return &number;
            } else if constexpr (std::is_same_v<T, double>) {
                Number& number = give<Number>();
                number.numberType = kCFNumberFloat64Type;
                number.real = value;
                return &number;
            } else if constexpr (std::is_same_v<T, Point>) {
                return geometry(kAXValueTypeCGPoint, value.x, value.y);
            } else if constexpr (std::is_same_v<T, Size>) {
                return geometry(kAXValueTypeCGSize, value.width, value.height);
            } else if constexpr (std::is_same_v<T, Rect>) {
                return geometry(kAXValueTypeCGRect, 0, 0);
            } else if constexpr (std::is_same_v<T, NodeId>) {
                ElementObject& element = give<ElementObject>();
                element.node = value;
                return &element;
            } else {
                Array& array = give<Array>();
                for (NodeId id : value.ids) {
                    ElementObject& element = make<ElementObject>();
                    element.node = id;
                    array.items.push_back(&element);
                }
                return &array;
            }
        },
        attribute);
}

}  // namespace

extern "C" {

const CFStringRef kCGWindowNumber = CFSTR("kCGWindowNumber");
const CFStringRef kCGWindowLayer = CFSTR("kCGWindowLayer");
const CFStringRef kCGWindowBounds = CFSTR("kCGWindowBounds");
const CFStringRef kCGWindowOwnerPID = CFSTR("kCGWindowOwnerPID");
const CFStringRef kCGWindowOwnerName = CFSTR("kCGWindowOwnerName");
const CFStringRef kCGWindowName = CFSTR("kCGWindowName");

bool CGPreflightScreenCaptureAccess(void) {
    return services().screenCapture;
}

CFArrayRef CGWindowListCopyWindowInfo(CGWindowListOption option, CGWindowID relativeToWindow) {
    services().windowListOptions.push_back(option | (relativeToWindow << 8));
    if (!services().windows.is_array()) {
        return nullptr;
    }
    CFTypeRef list = fromJson(services().windows);
    object(list)->given = 1;
    return static_cast<CFArrayRef>(list);
}

CGEventRef CGEventCreateMouseEvent(CGEventSourceRef source, CGEventType mouseType,
                                   CGPoint mouseCursorPosition, CGMouseButton mouseButton) {
    CGEventRef event = newEvent(source, mouseType);
    if (event) {
        eventObject(event)->event.x = mouseCursorPosition.x;
        eventObject(event)->event.y = mouseCursorPosition.y;
        eventObject(event)->event.button = mouseButton;
    }
    return event;
}

CGEventRef CGEventCreateKeyboardEvent(CGEventSourceRef source, CGKeyCode virtualKey, bool keyDown) {
    CGEventRef event = newEvent(source, keyDown ? kCGEventKeyDown : kCGEventKeyUp);
    if (event) {
        eventObject(event)->event.keyCode = virtualKey;
    }
    return event;
}

CGEventRef CGEventCreateScrollWheelEvent2(CGEventSourceRef source, CGScrollEventUnit units,
                                          uint32_t wheelCount, int32_t wheel1, int32_t wheel2,
                                          int32_t wheel3) {
    CGEventRef event = newEvent(source, kCGEventScrollWheel);
    if (event) {
        PostedEvent& made = eventObject(event)->event;
        made.scrollUnit = units;
        made.wheelCount = wheelCount;
        made.wheels[0] = wheel1;
        made.wheels[1] = wheel2;
        made.wheels[2] = wheel3;
    }
    return event;
}

void CGEventSetFlags(CGEventRef event, CGEventFlags flags) {
    eventObject(event)->event.flags = flags;
}

void CGEventSetIntegerValueField(CGEventRef event, CGEventField field, int64_t value) {
    eventObject(event)->event.fields[field] = value;
}

void CGEventKeyboardSetUnicodeString(CGEventRef event, UniCharCount stringLength,
                                     const UniChar* unicodeString) {
    PostedEvent& made = eventObject(event)->event;
    made.textOffered = stringLength;
    made.text.assign(reinterpret_cast<const char16_t*>(unicodeString),
                     std::min<std::size_t>(stringLength, deliveredUnits));
}

void CGEventPost(CGEventTapLocation tap, CGEventRef event) {
    PostedEvent posted = eventObject(event)->event;
    posted.tap = tap;
    services().posted.push_back(posted);
}

Boolean AXIsProcessTrusted(void) {
    return services().trusted;
}

CFTypeID AXUIElementGetTypeID(void) {
    return ElementType;
}
CFTypeID AXValueGetTypeID(void) {
    return GeometryType;
}

AXUIElementRef AXUIElementCreateApplication(pid_t pid) {
    ElementObject& element = give<ElementObject>();
    auto app = services().apps.find(pid);
    element.node = app == services().apps.end() ? -1 : app->second.root;
    return reinterpret_cast<AXUIElementRef>(&element);
}

AXError AXUIElementSetMessagingTimeout(AXUIElementRef element, float timeoutInSeconds) {
    ElementObject* found = as<ElementObject>(element, ElementType);
    if (!found || timeoutInSeconds < 0) {
        return kAXErrorIllegalArgument;
    }
    found->timeoutSeconds = timeoutInSeconds;
    return kAXErrorSuccess;
}

AXError AXUIElementCopyAttributeValue(AXUIElementRef element, CFStringRef attribute,
                                      CFTypeRef* value) {
    ElementObject* found = as<ElementObject>(element, ElementType);
    String* name = as<String>(attribute, StringType);
    if (!found || !name || !value) {
        return kAXErrorIllegalArgument;
    }
    Services& desktop = services();
    if (found->node < 0 || static_cast<std::size_t>(found->node) >= desktop.nodes.size()) {
        return kAXErrorInvalidUIElement;
    }
    const Node& node = desktop.nodes[static_cast<std::size_t>(found->node)];
    float timeout = found->timeoutSeconds > 0 ? found->timeoutSeconds : defaultTimeoutSeconds;
    auto waited = std::chrono::duration_cast<quorvel::Nanos>(std::chrono::duration<float>(timeout));
    if (node.answersAfter > waited) {
        desktop.now += waited;
        return kAXErrorCannotComplete;
    }
    desktop.now += node.answersAfter;
    auto read = node.attributes.find(utf8(name->text));
    if (read == node.attributes.end()) {
        return kAXErrorAttributeUnsupported;
    }
    *value = copyOf(read->second);
    return kAXErrorSuccess;
}

AXError AXUIElementPerformAction(AXUIElementRef element, CFStringRef action) {
    ElementObject* found = as<ElementObject>(element, ElementType);
    String* name = as<String>(action, StringType);
    if (!found || !name) {
        return kAXErrorIllegalArgument;
    }
    Services& desktop = services();
    desktop.actions.emplace_back(found->node, utf8(name->text));
    if (found->node >= 0 && static_cast<std::size_t>(found->node) < desktop.nodes.size() &&
        name->text == u"AXRaise" && desktop.nodes[static_cast<std::size_t>(found->node)].onRaise) {
        desktop.nodes[static_cast<std::size_t>(found->node)].onRaise();
    }
    return kAXErrorSuccess;
}

AXValueType AXValueGetType(AXValueRef value) {
    GeometryObject* found = as<GeometryObject>(value, GeometryType);
    return found ? found->valueType : kAXValueTypeIllegal;
}

Boolean AXValueGetValue(AXValueRef value, AXValueType theType, void* valuePtr) {
    GeometryObject* found = as<GeometryObject>(value, GeometryType);
    if (!found || found->valueType != theType) {
        return false;
    }
    if (theType == kAXValueTypeCGPoint) {
        *static_cast<CGPoint*>(valuePtr) = CGPointMake(found->first, found->second);
        return true;
    }
    if (theType == kAXValueTypeCGSize) {
        *static_cast<CGSize*>(valuePtr) = CGSizeMake(found->first, found->second);
        return true;
    }
    return false;
}

}  // extern "C"
