#include "platform/linux/wayland/WaylandObserverPlatform.h"

#include "platform/linux/common/MonotonicClock.h"
#include "platform/linux/common/ProcessTable.h"

namespace quorvel {

namespace {

// Such a compositor places no window where the driver can see it: an accessible window matches
// none, so its objects have no position, rather than positions relative to a window that the
// driver would take for global ones.
atspi::WindowLinks unplacedWindows() {
    atspi::WindowLinks links;
    links.windows = [](Pid) { return std::vector<atspi::ServerWindow>(); };
    return links;
}

class UnreachableApplication final : public RunningApplication {
  public:
    explicit UnreachableApplication(Pid pid) : pid_(pid) {}
    bool isTerminated() override { return !processIsLive(pid_); }
    void activate() override {}

  private:
    Pid pid_;
};

}  // namespace

WaylandObserverPlatform::WaylandObserverPlatform() : accessibility_(unplacedWindows()) {}

Nanos WaylandObserverPlatform::now() {
    return monotonicNow();
}

void WaylandObserverPlatform::sleep(Nanos duration) {
    Nanos until = monotonicNow() + duration;
    accessibility_.forgetReads();
    if (duration >= std::chrono::milliseconds(100)) {
        accessibility_.available();
    }
    sleep_.until(until);
}

void WaylandObserverPlatform::endWaitsWhen(std::function<bool()> requestOver) {
    requestOver_ = std::move(requestOver);
    accessibility_.endWaitsWhen(requestOver_);
}

bool WaylandObserverPlatform::accessibilityTrusted() {
    return !requestIsOver() && accessibility_.available();
}

std::unique_ptr<RunningApplication> WaylandObserverPlatform::runningApplication(Pid pid) {
    if (!processIsLive(pid)) {
        return nullptr;
    }
    return std::make_unique<UnreachableApplication>(pid);
}

ElementHandle WaylandObserverPlatform::applicationElement(Pid pid) {
    if (requestIsOver()) {
        return nullptr;
    }
    return accessibility_.applicationElement(pid);
}

void WaylandObserverPlatform::setMessagingTimeout(const Element& element, float seconds) {
    accessibility_.setMessagingTimeout(element, seconds);
}

std::optional<AttributeValue> WaylandObserverPlatform::copyAttribute(const Element& element,
                                                                     std::string_view name) {
    if (requestIsOver()) {
        return std::nullopt;
    }
    return accessibility_.copyAttribute(element, name);
}

bool WaylandObserverPlatform::elementsEqual(const Element& a, const Element& b) {
    return accessibility_.elementsEqual(a, b);
}

}  // namespace quorvel
