#include "platform/linux/x11/X11Platform.h"

#include <sys/prctl.h>

#include <cmath>
#include <optional>
#include <string>
#include <utility>

#include "platform/linux/common/LinuxEvent.h"
#include "platform/linux/common/MonotonicClock.h"
#include "platform/linux/common/ProcessTable.h"
#include "platform/linux/x11/AccessibleWindows.h"
#include "platform/linux/x11/KeyTable.h"
#include "platform/linux/x11/WindowServer.h"

namespace quorvel {

namespace {

constexpr Nanos releaseWaitLimit = std::chrono::milliseconds(100);

class LinuxApplication final : public RunningApplication {
  public:
    LinuxApplication(const x11::XConnection& connection, Pid pid)
        : connection_(connection), pid_(pid) {}
    bool isTerminated() override { return !processIsLive(pid_); }
    void activate() override { x11::activateWindowOf(connection_, pid_); }

  private:
    const x11::XConnection& connection_;
    Pid pid_;
};

}  // namespace

X11Platform::X11Platform()
    : input_(connection_),
      accessibility_(x11::accessibleWindowLinks(connection_, owners_, listedThisRound_)) {
    // Pauses end when asked, not up to the default 50 microseconds later: a text's thousands
    // of short pauses add up.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

X11Platform::~X11Platform() {
    boundWaits();
    connection_.ungrabServer();
    input_.releaseAll();
}

bool X11Platform::requestIsOver() const {
    return requestOver_ && requestOver_();
}

void X11Platform::boundWaits() {
    Nanos until = monotonicNow() + releaseWaitLimit;
    connection_.setGiveUp([until] { return monotonicNow() >= until; });
}

Nanos X11Platform::now() {
    return monotonicNow();
}

void X11Platform::endWaitsWhen(std::function<bool()> requestOver) {
    requestOver_ = std::move(requestOver);
    connection_.setGiveUp(requestOver_);
    accessibility_.endWaitsWhen(requestOver_);
}

void X11Platform::expectReadsOf(Pid pid) {
    accessibility_.expectReadsOf(pid);
}

void X11Platform::sleep(Nanos duration) {
    // Time spent reaching the X server (which another client may hold) is part of the pause.
    Nanos until = monotonicNow() + duration;
    sendQueued();
    listedThisRound_.reset();
    std::optional<Pid> reached = accessibility_.startPause(duration);
    // A pause on a display that has gone ends when it goes: nothing on it can change any more,
    // and what follows (a poll, a focus check, the observation) then ends the request at once.
    if (connection_.closedBefore(until - sleep_.wakeEarly())) {
        return;
    }
    sleep_.until(until);
    // The application answers its first reads while the window list is read: asked now, they
    // answer for the moment the pause is over.
    if (reached && !requestIsOver()) {
        accessibility_.beginReads(*reached);
    }
}

bool X11Platform::screenCaptureAllowed() {
    sendQueued();
    if (!connection_.usable()) {
        return false;
    }
    xcb_get_image_cookie_t cookie = xcb_get_image(connection_.xcb(), XCB_IMAGE_FORMAT_Z_PIXMAP,
                                                  connection_.root(), 0, 0, 1, 1, ~0u);
    return connection_.reply<xcb_get_image_reply_t>(cookie) != nullptr;
}

bool X11Platform::accessibilityTrusted() {
    sendQueued();
    if (requestIsOver()) {
        return false;
    }
    return accessibility_.available();
}

std::optional<Pid> X11Platform::frontmostPid() {
    // The answer must still hold when the event that the focus guard lets through is posted,
    // or a window that takes the focus in between gets it: the server stays grabbed until the
    // next operation, which for the guard is that post.
    connection_.grabServer();
    // A waiting key-up (the previous character's) goes out behind the questions: the server's
    // work on it then delays neither the answer nor, since the grab holds every other client,
    // makes it wrong.
    x11::KeyboardQuestion question;
    question.grabs = &grabs_;
    question.pointerPressedByUs = input_.holdsButton();
    question.afterAsking = [this] { input_.sendWaitingKeyUp(); };
    return x11::keyboardOwnerPid(connection_, owners_, question);
}

std::unique_ptr<RunningApplication> X11Platform::runningApplication(Pid pid) {
    sendQueued();
    if (!processIsLive(pid)) {
        return nullptr;
    }
    return std::make_unique<LinuxApplication>(connection_, pid);
}

Json X11Platform::windowServerList() {
    // The window list is the X server's alone: read under a grab the focus guard began, it
    // still holds when the press that follows is posted.
    sendWithoutUngrabbing();
    if (!connection_.usable()) {
        return Json::array();  // a machine without a desktop has no windows
    }
    listedThisRound_ = x11::listWindows(connection_);
    return *listedThisRound_;
}

std::vector<ScreenRect> X11Platform::displayBounds() {
    sendWithoutUngrabbing();
    return x11::monitorAreas(connection_);
}

// Accessibility calls wait up to their messaging timeout for an application, which may itself
// be waiting for a grabbed X server: once the request is over, none is begun.
ElementHandle X11Platform::applicationElement(Pid pid) {
    sendQueued();
    if (requestIsOver()) {
        return nullptr;
    }
    return accessibility_.applicationElement(pid);
}

void X11Platform::setMessagingTimeout(const Element& element, float seconds) {
    sendQueued();
    accessibility_.setMessagingTimeout(element, seconds);
}

std::optional<AttributeValue> X11Platform::copyAttribute(const Element& element,
                                                         std::string_view name) {
    sendQueued();
    if (requestIsOver()) {
        return std::nullopt;
    }
    return accessibility_.copyAttribute(element, name);
}

void X11Platform::performAction(const Element& element, std::string_view action) {
    sendQueued();
    accessibility_.performAction(element, action);
}

bool X11Platform::elementsEqual(const Element& a, const Element& b) {
    sendQueued();
    return accessibility_.elementsEqual(a, b);
}

EventHandle X11Platform::makeMouseEvent(MouseEventType type, ScreenPoint position,
                                        MouseButton button) {
    connection_.ungrabServer();
    if (!input_.available()) {
        return nullptr;
    }
    auto event = std::make_unique<LinuxEvent>();
    event->kind = LinuxEvent::Kind::Mouse;
    // The event type names the button; the button argument only repeats it.
    (void)button;
    event->mouseType = type;
    // The pixel that holds the point: a point inside a window (its maximum edge excluded) is
    // then never sent to the pixel beyond that edge, as rounding would do.
    event->position = {std::floor(position.x), std::floor(position.y)};
    return event;
}

EventHandle X11Platform::makePixelScrollEvent(std::int32_t wheel1, std::int32_t wheel2) {
    connection_.ungrabServer();
    if (!input_.available()) {
        return nullptr;
    }
    auto event = std::make_unique<LinuxEvent>();
    event->kind = LinuxEvent::Kind::Scroll;
    event->wheel1 = wheel1;
    event->wheel2 = wheel2;
    return event;
}

EventHandle X11Platform::makeKeyboardEvent(std::uint16_t virtualKey, bool keyDown) {
    connection_.ungrabServer();
    // Virtual key 0 is also the key that carries typed text, so it is always made.
    if (!input_.available() || !x11::keysymForVirtualKey(virtualKey)) {
        return nullptr;
    }
    auto event = std::make_unique<LinuxEvent>();
    event->kind = LinuxEvent::Kind::Keyboard;
    event->virtualKey = virtualKey;
    event->keyDown = keyDown;
    if (keyDown) {
        input_.prepareKey(virtualKey, 0);
    }
    return event;
}

// X has no click state: applications count clicks from the time and distance between presses,
// which the driver's pauses keep within a double click.
void X11Platform::setClickState(Event&, std::int64_t) {}

void X11Platform::setFlags(Event& event, std::uint64_t flags) {
    connection_.ungrabServer();
    if (auto* linuxEvent = dynamic_cast<LinuxEvent*>(&event)) {
        linuxEvent->flags = flags;
        if (linuxEvent->kind == LinuxEvent::Kind::Keyboard && linuxEvent->keyDown) {
            input_.prepareKey(linuxEvent->virtualKey, flags);
        }
    }
}

void X11Platform::setUnicodeString(Event& event, std::u16string_view text) {
    connection_.ungrabServer();
    if (auto* linuxEvent = dynamic_cast<LinuxEvent*>(&event)) {
        linuxEvent->text = std::u16string(text);
        if (linuxEvent->kind == LinuxEvent::Kind::Keyboard && linuxEvent->keyDown) {
            input_.prepareText(text);
        }
    }
}

bool X11Platform::claimInput() {
    input_.sendWaitingKeyUp();
    return claim_.claim();
}

void X11Platform::post(const Event& event) {
    const auto* linuxEvent = dynamic_cast<const LinuxEvent*>(&event);
    bool keyUp =
        linuxEvent && linuxEvent->kind == LinuxEvent::Kind::Keyboard && !linuxEvent->keyDown;
    if (keyUp && !connection_.grabbed()) {
        // A key-up outside the focus guard waits for the next request to the server, which is
        // usually the focus query before the next key; anything that can take time sends it.
        input_.keyUpLater(linuxEvent->virtualKey);
    } else {
        deliver(event);
        // The event goes out at once, with the end of the grab when the focus guard began one.
        connection_.ungrabServer();
        connection_.flush();
    }
    accessibility_.forgetReads();
    listedThisRound_.reset();
}

bool X11Platform::inputFellShort() {
    return input_.keysLeftOut() || input_.keyboardChangedUnderUs();
}

void X11Platform::sendQueued() {
    sendWithoutUngrabbing();
    connection_.ungrabServer();
}

void X11Platform::sendWithoutUngrabbing() {
    input_.sendWaitingKeyUp();
    connection_.flush();
}

void X11Platform::deliver(const Event& event) {
    const auto* linuxEvent = dynamic_cast<const LinuxEvent*>(&event);
    if (!linuxEvent) {
        return;
    }
    switch (linuxEvent->kind) {
        case LinuxEvent::Kind::Mouse:
            input_.movePointer(linuxEvent->position);
            switch (linuxEvent->mouseType) {
                case MouseEventType::Moved:
                case MouseEventType::LeftDragged:
                    break;
                case MouseEventType::LeftDown:
                    input_.pressButton(x11::Button::Left);
                    break;
                case MouseEventType::LeftUp:
                    input_.releaseButton(x11::Button::Left);
                    break;
                case MouseEventType::RightDown:
                    input_.pressButton(x11::Button::Right);
                    break;
                case MouseEventType::RightUp:
                    input_.releaseButton(x11::Button::Right);
                    break;
            }
            return;
        case LinuxEvent::Kind::Scroll:
            input_.scroll(linuxEvent->wheel1, linuxEvent->wheel2);
            return;
        case LinuxEvent::Kind::Keyboard:
            if (!linuxEvent->keyDown) {
                input_.keyUp(linuxEvent->virtualKey);
            } else if (linuxEvent->text) {
                input_.typeDown(linuxEvent->virtualKey, *linuxEvent->text);
            } else {
                input_.keyDown(linuxEvent->virtualKey, linuxEvent->flags);
            }
            return;
    }
}

void X11Platform::releaseInput() {
    // The releases are sent whatever happens; waiting for the server to have handled them is
    // bounded, so that a server held by another client delays the reply by this much at most.
    boundWaits();
    sendQueued();
    input_.releaseAll();
    // Only once the keyboard is as it was may the next driver begin.
    claim_.release();
    if (connection_.usable() && !connection_.sync()) {
        // The server drops what a closed connection left unhandled: the connection stays open
        // until the server, once free, has handled the releases.
        x11::keepOpenUntilHandled(connection_);
    }
    connection_.setGiveUp(requestOver_);
}

}  // namespace quorvel
