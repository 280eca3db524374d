#include "platform/linux/kwin/KWinPlatform.h"

#include <sys/prctl.h>
#include <unicode/unistr.h>

#include <cmath>
#include <utility>

#include "platform/linux/common/LinuxEvent.h"
#include "platform/linux/common/MonotonicClock.h"
#include "platform/linux/common/ProcessTable.h"
#include "platform/linux/x11/KeyTable.h"

namespace quorvel {

namespace {

constexpr int connectTimeoutMilliseconds = 500;
constexpr int claimTimeoutMilliseconds = 500;
// The name that one driver at a time holds on the session bus while it sends input.
constexpr const char* inputClaimName = "org.quorvel.computer.Input";

class KWinApplication final : public RunningApplication {
  public:
    KWinApplication(kwin::WindowWatch& watch, Pid pid) : watch_(watch), pid_(pid) {}
    bool isTerminated() override { return !processIsLive(pid_); }
    void activate() override { watch_.activate(pid_, std::nullopt); }

  private:
    kwin::WindowWatch& watch_;
    Pid pid_;
};

atspi::Extents extents(const ScreenRect& rect) {
    return {static_cast<std::int32_t>(std::lround(rect.x)),
            static_cast<std::int32_t>(std::lround(rect.y)),
            static_cast<std::int32_t>(std::lround(rect.width)),
            static_cast<std::int32_t>(std::lround(rect.height))};
}

}  // namespace

KWinPlatform::KWinPlatform()
    : bus_(kwin::SessionBus::connect(connectTimeoutMilliseconds)), accessibility_(windowLinks()) {
    // Pauses end when asked, not up to the default 50 microseconds later.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

KWinPlatform::~KWinPlatform() {
    input_.releaseAll();
}

atspi::WindowLinks KWinPlatform::windowLinks() {
    atspi::WindowLinks links;
    links.frontmostPid = [this] { return frontmostPid(); };
    // GTK 4 and Qt 6 place their objects relative to the client area, which KWin places.
    links.windows = [this](Pid pid) {
        std::vector<atspi::ServerWindow> windows;
        const kwin::WindowReport* report = watch_.last() ? watch_.last() : watch_.current();
        if (!report) {
            return windows;
        }
        for (auto it = report->stacking.rbegin(); it != report->stacking.rend(); ++it) {
            if (it->pid != pid || !it->shown || !kwin::listLayer(*it)) {
                continue;
            }
            windows.push_back({kwin::stableWindowId(it->internalId), it->caption,
                               extents(it->frame), extents(it->client)});
        }
        return windows;
    };
    links.raiseWindow = [this](Pid pid, std::optional<std::uint32_t> window) {
        watch_.activate(pid, window);
    };
    links.windowRelativeExtents = true;
    return links;
}

bool KWinPlatform::requestIsOver() const {
    return requestOver_ && requestOver_();
}

Nanos KWinPlatform::now() {
    return monotonicNow();
}

void KWinPlatform::sleep(Nanos duration) {
    Nanos until = monotonicNow() + duration;
    std::optional<Pid> reached = accessibility_.startPause(duration);
    // A pause is followed by a focus check: its question goes out ahead, to be answered as the
    // pause ends (the check takes the answer only if it is that recent).
    if (activeWindow_.available() && activeWindow_.lead() > Nanos{0} &&
        duration > activeWindow_.lead()) {
        sleep_.until(until - activeWindow_.lead());
        activeWindow_.askAhead();
    }
    sleep_.until(until);
    // The application answers its first reads while KWin's window list is asked for.
    if (reached && !requestIsOver()) {
        accessibility_.beginReads(*reached);
    }
}

void KWinPlatform::expectReadsOf(Pid pid) {
    accessibility_.expectReadsOf(pid);
}

void KWinPlatform::endWaitsWhen(std::function<bool()> requestOver) {
    requestOver_ = std::move(requestOver);
    watch_.endWaitsWhen(requestOver_);
    activeWindow_.endWaitsWhen(requestOver_);
    input_.endWaitsWhen(requestOver_);
    clipboard_.endWaitsWhen(requestOver_);
    accessibility_.endWaitsWhen(requestOver_);
}

bool KWinPlatform::screenCaptureAllowed() {
    return watch_.current() != nullptr;
}

bool KWinPlatform::accessibilityTrusted() {
    if (requestIsOver()) {
        return false;
    }
    return accessibility_.available();
}

std::optional<Pid> KWinPlatform::frontmostPid() {
    // The focus is checked before every event: where KWin grants its window-management protocol,
    // the round trip that makes the answer current goes straight to KWin, not through the bus.
    if (activeWindow_.available()) {
        return activeWindow_.activePid();
    }
    const kwin::WindowReport* report = watch_.current();
    if (!report) {
        return std::nullopt;
    }
    const kwin::ReportedWindow* active = kwin::activeWindow(*report);
    if (!active || active->pid <= 0) {
        return std::nullopt;
    }
    return active->pid;
}

std::unique_ptr<RunningApplication> KWinPlatform::runningApplication(Pid pid) {
    if (!processIsLive(pid)) {
        return nullptr;
    }
    return std::make_unique<KWinApplication>(watch_, pid);
}

Json KWinPlatform::windowServerList() {
    const kwin::WindowReport* report = watch_.current();
    if (!report) {
        return Json();
    }
    return kwin::windowList(*report);
}

std::vector<ScreenRect> KWinPlatform::displayBounds() {
    const kwin::WindowReport* report = watch_.current();
    if (!report) {
        return {};
    }
    return report->outputs;
}

ElementHandle KWinPlatform::applicationElement(Pid pid) {
    if (requestIsOver()) {
        return nullptr;
    }
    return accessibility_.applicationElement(pid);
}

void KWinPlatform::setMessagingTimeout(const Element& element, float seconds) {
    accessibility_.setMessagingTimeout(element, seconds);
}

std::optional<AttributeValue> KWinPlatform::copyAttribute(const Element& element,
                                                          std::string_view name) {
    if (requestIsOver()) {
        return std::nullopt;
    }
    return accessibility_.copyAttribute(element, name);
}

void KWinPlatform::performAction(const Element& element, std::string_view action) {
    accessibility_.performAction(element, action);
}

bool KWinPlatform::elementsEqual(const Element& a, const Element& b) {
    return accessibility_.elementsEqual(a, b);
}

EventHandle KWinPlatform::makeMouseEvent(MouseEventType type, ScreenPoint position,
                                         MouseButton button) {
    if (!input_.available()) {
        return nullptr;
    }
    (void)button;  // the event type names the button
    auto event = std::make_unique<LinuxEvent>();
    event->kind = LinuxEvent::Kind::Mouse;
    event->mouseType = type;
    // The pixel that holds the point, as on X11: a point inside a window never reaches the
    // pixel beyond its maximum edge.
    event->position = {std::floor(position.x), std::floor(position.y)};
    return event;
}

EventHandle KWinPlatform::makePixelScrollEvent(std::int32_t wheel1, std::int32_t wheel2) {
    if (!input_.available()) {
        return nullptr;
    }
    auto event = std::make_unique<LinuxEvent>();
    event->kind = LinuxEvent::Kind::Scroll;
    event->wheel1 = wheel1;
    event->wheel2 = wheel2;
    return event;
}

EventHandle KWinPlatform::makeKeyboardEvent(std::uint16_t virtualKey, bool keyDown) {
    // Virtual key 0 is also the key that carries typed text, so it is always made.
    if (!input_.available() || !x11::keysymForVirtualKey(virtualKey)) {
        return nullptr;
    }
    auto event = std::make_unique<LinuxEvent>();
    event->kind = LinuxEvent::Kind::Keyboard;
    event->virtualKey = virtualKey;
    event->keyDown = keyDown;
    return event;
}

// Applications count clicks from the time and distance between presses, which the driver's
// pauses keep within a double click.
void KWinPlatform::setClickState(Event&, std::int64_t) {}

void KWinPlatform::setFlags(Event& event, std::uint64_t flags) {
    if (auto* kwinEvent = dynamic_cast<LinuxEvent*>(&event)) {
        kwinEvent->flags = flags;
    }
}

void KWinPlatform::setUnicodeString(Event& event, std::u16string_view text) {
    if (auto* kwinEvent = dynamic_cast<LinuxEvent*>(&event)) {
        kwinEvent->text = std::u16string(text);
    }
}

bool KWinPlatform::typedByKeys(std::u16string_view character) {
    // Without input no event is made, and the batch fails for that.
    return !input_.available() || input_.hasKeysFor(character);
}

void KWinPlatform::paste(std::u16string_view text) {
    std::string utf8;
    icu::UnicodeString(text.data(), static_cast<std::int32_t>(text.size())).toUTF8String(utf8);
    if (!clipboard_.paste(utf8, [this] { return input_.pressPasteKeys(); })) {
        pasteFellShort_ = true;
    }
}

bool KWinPlatform::claimInput() {
    if (!bus_) {
        return false;
    }
    claimed_ = bus_->own(inputClaimName, claimTimeoutMilliseconds);
    return claimed_;
}

void KWinPlatform::post(const Event& event) {
    const auto* kwinEvent = dynamic_cast<const LinuxEvent*>(&event);
    if (!kwinEvent) {
        return;
    }
    switch (kwinEvent->kind) {
        case LinuxEvent::Kind::Mouse:
            input_.movePointer(kwinEvent->position);
            switch (kwinEvent->mouseType) {
                case MouseEventType::Moved:
                case MouseEventType::LeftDragged:
                    break;
                case MouseEventType::LeftDown:
                    input_.pressButton(true);
                    break;
                case MouseEventType::LeftUp:
                    input_.releaseButton(true);
                    break;
                case MouseEventType::RightDown:
                    input_.pressButton(false);
                    break;
                case MouseEventType::RightUp:
                    input_.releaseButton(false);
                    break;
            }
            return;
        case LinuxEvent::Kind::Scroll:
            // The driver's wheels scroll up and left when positive; EIS's deltas down and right.
            input_.scroll(-static_cast<double>(kwinEvent->wheel2),
                          -static_cast<double>(kwinEvent->wheel1));
            return;
        case LinuxEvent::Kind::Keyboard:
            if (!kwinEvent->keyDown) {
                input_.keyUp(kwinEvent->virtualKey);
            } else if (kwinEvent->text && !input_.hasKeysFor(*kwinEvent->text)) {
                paste(*kwinEvent->text);
            } else if (kwinEvent->text) {
                input_.typeDown(kwinEvent->virtualKey, *kwinEvent->text);
            } else {
                input_.keyDown(kwinEvent->virtualKey, kwinEvent->flags);
            }
            return;
    }
}

bool KWinPlatform::inputFellShort() {
    return input_.keysLeftOut() || pasteFellShort_;
}

void KWinPlatform::releaseInput() {
    input_.releaseAll();
    // The user's clipboard as it was before the first paste.
    clipboard_.restore();
    // Only once nothing is pressed may the next driver begin.
    if (claimed_ && bus_) {
        bus_->disown(inputClaimName, claimTimeoutMilliseconds);
        claimed_ = false;
    }
}

}  // namespace quorvel
