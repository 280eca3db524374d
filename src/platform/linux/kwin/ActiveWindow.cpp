#include "platform/linux/kwin/ActiveWindow.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

#include "plasma-window-management-client-protocol.h"
#include "platform/linux/common/MonotonicClock.h"
#include "platform/linux/kwin/WaylandWaits.h"

namespace quorvel::kwin {

namespace {

// Windows announced with their uuid (13), whose first state ends with `initial_state` (4); nothing
// later is needed.
constexpr std::uint32_t oldestVersion = 13;
constexpr std::uint32_t newestVersion = 16;
// A window announced during a round trip sends its first state during the next one.
constexpr int roundTripsForNewWindows = 3;
// KWin answers a round trip in well under a millisecond; one that takes this long is not
// answering.
constexpr Nanos roundTripLimit = std::chrono::milliseconds(500);
// A question asked ahead is taken up to this much later than the lead says: the time between
// the pause's end and the check.
constexpr Nanos leadSlack = std::chrono::microseconds(100);

// Events the driver has no use for.
template <typename... Arguments>
void ignore(void*, Arguments...) {}

}  // namespace

ActiveWindow::~ActiveWindow() {
    disconnect();
}

bool ActiveWindow::available() {
    if (!tried_) {
        tried_ = true;
        if (!connect()) {
            disconnect();
        }
    }
    return manager_ != nullptr;
}

bool ActiveWindow::connect() {
    // Only where the session gives a Wayland display: the X11 platform never asks.
    display_ = wl_display_connect(nullptr);
    if (!display_) {
        return false;
    }
    registry_ = wl_display_get_registry(display_);
    static const wl_registry_listener registryListener = {announced, ignore};
    if (!registry_ || wl_registry_add_listener(registry_, &registryListener, this) != 0) {
        return false;
    }
    // The globals, then the windows and their first state.
    return kwin::roundTrip(display_, monotonicNow() + roundTripLimit, giveUp_) && manager_ &&
           roundTrip();
}

void ActiveWindow::disconnect() {
    dropQuestion();
    for (auto& [handle, window] : windows_) {
        org_kde_plasma_window_destroy(handle);
    }
    windows_.clear();
    if (manager_) {
        org_kde_plasma_window_management_destroy(manager_);
        manager_ = nullptr;
    }
    if (registry_) {
        wl_registry_destroy(registry_);
        registry_ = nullptr;
    }
    if (display_) {
        wl_display_disconnect(display_);
        display_ = nullptr;
    }
}

void ActiveWindow::announced(void* data, wl_registry* registry, std::uint32_t name,
                             const char* interface, std::uint32_t version) {
    auto* self = static_cast<ActiveWindow*>(data);
    if (std::strcmp(interface, org_kde_plasma_window_management_interface.name) != 0 ||
        version < oldestVersion || self->manager_) {
        return;
    }
    self->manager_ = static_cast<org_kde_plasma_window_management*>(
        wl_registry_bind(registry, name, &org_kde_plasma_window_management_interface,
                         std::min(version, newestVersion)));
    static const org_kde_plasma_window_management_listener managerListener = {
        ignore, ignore, ignore, ignore, windowAdded, ignore};
    if (self->manager_) {
        org_kde_plasma_window_management_add_listener(self->manager_, &managerListener, self);
    }
}

void ActiveWindow::windowAdded(void* data, org_kde_plasma_window_management* manager, std::uint32_t,
                               const char* uuid) {
    auto* self = static_cast<ActiveWindow*>(data);
    org_kde_plasma_window* handle =
        org_kde_plasma_window_management_get_window_by_uuid(manager, uuid);
    if (!handle) {
        return;
    }
    static const org_kde_plasma_window_listener windowListener = {
        ignore, ignore,     stateChanged, ignore, ignore, unmapped, initialState, ignore, ignore,
        ignore, pidChanged, ignore,       ignore, ignore, ignore,   ignore,       ignore, ignore};
    org_kde_plasma_window_add_listener(handle, &windowListener, self);
    self->windows_[handle] = Window{handle};
}

void ActiveWindow::stateChanged(void* data, org_kde_plasma_window* handle, std::uint32_t flags) {
    static_cast<ActiveWindow*>(data)->windows_[handle].state = flags;
}

void ActiveWindow::pidChanged(void* data, org_kde_plasma_window* handle, std::uint32_t pid) {
    static_cast<ActiveWindow*>(data)->windows_[handle].pid = static_cast<Pid>(pid);
}

void ActiveWindow::initialState(void* data, org_kde_plasma_window* handle) {
    static_cast<ActiveWindow*>(data)->windows_[handle].complete = true;
}

void ActiveWindow::unmapped(void* data, org_kde_plasma_window* handle) {
    auto* self = static_cast<ActiveWindow*>(data);
    self->windows_.erase(handle);
    org_kde_plasma_window_destroy(handle);
}

Nanos ActiveWindow::lead() const {
    return quickest_.value_or(Nanos{0});
}

void ActiveWindow::askAhead() {
    if (!manager_ || question_ || !quickest_) {
        return;
    }
    static const wl_callback_listener answer = {
        [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
    question_ = wl_display_sync(display_);
    if (!question_) {
        return;
    }
    answered_ = false;
    wl_callback_add_listener(question_, &answer, &answered_);
    askedAt_ = monotonicNow();
    wl_display_flush(display_);
}

void ActiveWindow::dropQuestion() {
    if (question_) {
        wl_callback_destroy(question_);
        question_ = nullptr;
    }
}

// The question asked ahead when it is recent enough, else a round trip of its own; the quickest
// round trip seen sets how far ahead the next question is asked.
bool ActiveWindow::firstTrip() {
    Nanos start = monotonicNow();
    if (question_ && start - askedAt_ <= lead() + leadSlack) {
        bool ok = dispatchUntil(
            display_, [this] { return answered_; }, start + roundTripLimit, giveUp_);
        dropQuestion();
        return ok;
    }
    dropQuestion();
    if (!kwin::roundTrip(display_, start + roundTripLimit, giveUp_)) {
        return false;
    }
    Nanos took = monotonicNow() - start;
    quickest_ = quickest_ ? std::min(*quickest_, took) : took;
    return true;
}

// One round trip, and more while windows announced meanwhile have not sent their first state: a
// window that became active as it appeared is then known with its process.
bool ActiveWindow::roundTrip() {
    for (int trip = 0; trip < roundTripsForNewWindows; ++trip) {
        bool ok = trip == 0 ? firstTrip()
                            : kwin::roundTrip(display_, monotonicNow() + roundTripLimit, giveUp_);
        if (!ok) {
            return false;
        }
        if (std::all_of(windows_.begin(), windows_.end(),
                        [](const auto& entry) { return entry.second.complete; })) {
            return true;
        }
    }
    return true;
}

std::optional<Pid> ActiveWindow::activePid() {
    if (!available()) {
        return std::nullopt;
    }
    if (!roundTrip()) {
        // KWin has gone or stopped answering, or the request is over: nothing it said counts.
        disconnect();
        return std::nullopt;
    }
    for (const auto& [handle, window] : windows_) {
        if ((window.state & ORG_KDE_PLASMA_WINDOW_MANAGEMENT_STATE_ACTIVE) && window.pid > 0) {
            return window.pid;
        }
    }
    return std::nullopt;
}

}  // namespace quorvel::kwin
