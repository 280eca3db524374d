#include "platform/linux/kwin/WaylandWaits.h"

#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "platform/linux/common/MonotonicClock.h"

namespace quorvel::kwin {

namespace {

constexpr Nanos waitSlice = std::chrono::milliseconds(20);

}  // namespace

int pollMilliseconds(Nanos until) {
    Nanos now = monotonicNow();
    if (until <= now) {
        return 0;
    }
    Nanos wait = std::min(until - now, waitSlice);
    return static_cast<int>((wait.count() + 999'999) / 1'000'000);
}

bool dispatchUntil(wl_display* display, const std::function<bool()>& done, Nanos until,
                   const std::function<bool()>& stop) {
    while (true) {
        if (wl_display_dispatch_pending(display) < 0) {
            return false;
        }
        if (done()) {
            return true;
        }
        if (wl_display_get_error(display) != 0 || (stop && stop()) || monotonicNow() >= until) {
            return false;
        }
        while (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0) {
                return false;
            }
        }
        short events = POLLIN;
        if (wl_display_flush(display) < 0) {
            if (errno != EAGAIN) {
                wl_display_cancel_read(display);
                return false;
            }
            events |= POLLOUT;
        }
        pollfd descriptor{wl_display_get_fd(display), events, 0};
        if (::poll(&descriptor, 1, pollMilliseconds(until)) > 0 &&
            (descriptor.revents & (POLLIN | POLLERR | POLLHUP))) {
            if (wl_display_read_events(display) < 0) {
                return false;
            }
        } else {
            wl_display_cancel_read(display);
        }
    }
}

bool roundTrip(wl_display* display, Nanos until, const std::function<bool()>& stop) {
    bool answered = false;
    static const wl_callback_listener doneListener = {
        [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }};
    wl_callback* callback = wl_display_sync(display);
    if (!callback) {
        return false;
    }
    wl_callback_add_listener(callback, &doneListener, &answered);
    bool ok = dispatchUntil(
        display, [&] { return answered; }, until, stop);
    wl_callback_destroy(callback);
    return ok;
}

}  // namespace quorvel::kwin
