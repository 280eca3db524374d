#include "platform/linux/kwin/ClipboardConnection.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "platform/linux/common/MonotonicClock.h"
#include "platform/linux/kwin/WaylandWaits.h"

namespace quorvel::kwin {

namespace {

// How long an application may take to read what it asked for.
constexpr Nanos serveBound = std::chrono::seconds(1);

// Writes all of `bytes` to a non-blocking `fd` by `until`.
bool writeAll(int fd, const std::string& bytes, Nanos until) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        ssize_t count = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (count > 0) {
            written += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        if (monotonicNow() >= until) {
            return false;
        }
        pollfd descriptor{fd, POLLOUT, 0};
        ::poll(&descriptor, 1, pollMilliseconds(until));
    }
    return true;
}

// Waits until the reader has taken everything out of the pipe, so that it holds the whole text
// before it sees the end of it.
void waitUntilDrained(int fd, Nanos until) {
    int left = 0;
    while (::ioctl(fd, FIONREAD, &left) == 0 && left > 0 && monotonicNow() < until) {
        sleepFor(std::chrono::milliseconds(1));
    }
}

}  // namespace

struct ClipboardConnection::OfferState {
    dataControl::Offer* offer;
    std::vector<std::string> types;
};

const dataControl::DeviceListener ClipboardConnection::deviceListener = {
    [](void* data, dataControl::Device*, dataControl::Offer* offer) {
        auto* self = static_cast<ClipboardConnection*>(data);
        self->offers_.push_back(std::make_unique<OfferState>(OfferState{offer, {}}));
        dataControl::addListener(offer, &offerListener, self->offers_.back().get());
    },
    [](void* data, dataControl::Device*, dataControl::Offer* offer) {
        auto* self = static_cast<ClipboardConnection*>(data);
        // Every earlier offer is spent: only the selection's stays.
        self->selection_ = nullptr;
        std::erase_if(self->offers_, [&](const std::unique_ptr<OfferState>& state) {
            if (state->offer == offer) {
                self->selection_ = state.get();
                return false;
            }
            dataControl::destroy(state->offer);
            return true;
        });
    },
    [](void* data, dataControl::Device*) {
        static_cast<ClipboardConnection*>(data)->finished_ = true;
    },
};

const dataControl::SourceListener ClipboardConnection::sourceListener = {
    [](void* data, dataControl::Source*, const char* type, std::int32_t fd) {
        static_cast<ClipboardConnection*>(data)->serve(type, fd);
    },
    [](void* data, dataControl::Source*) {
        auto* self = static_cast<ClipboardConnection*>(data);
        self->replaced_ = true;
        self->dropSource();
    },
};

const dataControl::OfferListener ClipboardConnection::offerListener = {
    [](void* data, dataControl::Offer*, const char* type) {
        static_cast<OfferState*>(data)->types.emplace_back(type);
    },
};

void ClipboardConnection::global(void* data, wl_registry* registry, std::uint32_t name,
                                 const char* interface, std::uint32_t) {
    auto* self = static_cast<ClipboardConnection*>(data);
    if (!self->seat_ && std::strcmp(interface, wl_seat_interface.name) == 0) {
        self->seat_ =
            static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (!self->manager_ &&
               std::strcmp(interface, zwlr_data_control_manager_v1_interface.name) == 0) {
        // Version 1: the clipboard alone, never the primary selection.
        self->manager_ = static_cast<dataControl::Manager*>(
            wl_registry_bind(registry, name, &zwlr_data_control_manager_v1_interface, 1));
        self->managerName_ = name;
    }
}

void ClipboardConnection::globalRemove(void* data, wl_registry*, std::uint32_t name) {
    auto* self = static_cast<ClipboardConnection*>(data);
    if (name == self->managerName_) {
        self->finished_ = true;
    }
}

std::unique_ptr<ClipboardConnection> ClipboardConnection::connect(Nanos until,
                                                                  const GiveUp& giveUp) {
    // libwayland tells of a broken connection on standard error; the driver never writes there.
    wl_log_set_handler_client([](const char*, va_list) {});
    std::unique_ptr<ClipboardConnection> connection(new ClipboardConnection());
    connection->display_ = wl_display_connect(nullptr);
    if (!connection->display_) {
        return nullptr;
    }
    static const wl_registry_listener registryListener = {&global, &globalRemove};
    connection->registry_ = wl_display_get_registry(connection->display_);
    wl_registry_add_listener(connection->registry_, &registryListener, connection.get());
    if (!connection->roundTrip(until, giveUp) || !connection->seat_ || !connection->manager_) {
        return nullptr;
    }
    connection->device_ = dataControl::getDataDevice(
        connection->manager_, reinterpret_cast<wl_proxy*>(connection->seat_));
    dataControl::addListener(connection->device_, &deviceListener, connection.get());
    // The current selection comes before the answer to the round trip.
    if (!connection->roundTrip(until, giveUp)) {
        return nullptr;
    }
    return connection;
}

ClipboardConnection::~ClipboardConnection() {
    if (!display_) {
        return;
    }
    for (const std::unique_ptr<OfferState>& state : offers_) {
        dataControl::destroy(state->offer);
    }
    dropSource();
    dataControl::destroy(device_);
    dataControl::destroy(manager_);
    if (seat_) {
        wl_proxy_destroy(reinterpret_cast<wl_proxy*>(seat_));
    }
    if (registry_) {
        wl_registry_destroy(registry_);
    }
    wl_display_flush(display_);
    wl_display_disconnect(display_);
}

bool ClipboardConnection::broken() const {
    return finished_ || wl_display_get_error(display_) != 0;
}

bool ClipboardConnection::dispatchUntil(const std::function<bool()>& done, Nanos until,
                                        const GiveUp& giveUp) {
    return kwin::dispatchUntil(display_, done, until,
                               [&] { return broken() || (giveUp && giveUp()); });
}

bool ClipboardConnection::roundTrip(Nanos until, const GiveUp& giveUp) {
    return kwin::roundTrip(display_, until, [&] { return broken() || (giveUp && giveUp()); });
}

std::optional<SavedClipboard> ClipboardConnection::readSelection(Nanos ownerBound, Nanos until,
                                                                 const GiveUp& giveUp) {
    SavedClipboard saved;
    if (!selection_) {
        return saved;
    }
    std::vector<std::string> types = selection_->types;
    std::size_t total = 0;
    for (const std::string& type : types) {
        if (!worthSaving(type) ||
            std::any_of(saved.types.begin(), saved.types.end(),
                        [&](const auto& kept) { return kept.first == type; })) {
            continue;
        }
        std::optional<std::string> bytes =
            read(type, savedClipboardLimit - total, std::min(until, monotonicNow() + ownerBound),
                 giveUp);
        if (!bytes) {
            return std::nullopt;
        }
        total += bytes->size();
        saved.types.emplace_back(type, std::move(*bytes));
    }
    return saved;
}

std::optional<std::string> ClipboardConnection::read(const std::string& type, std::size_t limit,
                                                     Nanos deadline, const GiveUp& giveUp) {
    int ends[2];
    if (!selection_ || ::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        return std::nullopt;
    }
    dataControl::receive(selection_->offer, type.c_str(), ends[1]);
    ::close(ends[1]);
    wl_display_flush(display_);
    std::string bytes;
    char buffer[65536];
    while (true) {
        ssize_t count = ::read(ends[0], buffer, sizeof buffer);
        if (count == 0) {
            ::close(ends[0]);
            return bytes;
        }
        if (count > 0) {
            bytes.append(buffer, static_cast<std::size_t>(count));
            if (bytes.size() > limit) {
                break;
            }
            continue;
        }
        if ((errno != EAGAIN && errno != EINTR) || (giveUp && giveUp()) ||
            monotonicNow() >= deadline) {
            break;
        }
        pollfd descriptor{ends[0], POLLIN, 0};
        ::poll(&descriptor, 1, pollMilliseconds(deadline));
    }
    ::close(ends[0]);
    return std::nullopt;
}

void ClipboardConnection::setSelection(const SavedClipboard& content) {
    dropSource();
    served_ = content;
    replaced_ = false;
    if (content.types.empty()) {
        dataControl::setSelection(device_, nullptr);
        return;
    }
    source_ = dataControl::createDataSource(manager_);
    dataControl::addListener(source_, &sourceListener, this);
    for (const auto& [type, bytes] : content.types) {
        dataControl::offer(source_, type.c_str());
    }
    dataControl::setSelection(device_, source_);
}

void ClipboardConnection::serve(const char* type, int fd) {
    ++requests_;
    auto found = std::find_if(served_.types.begin(), served_.types.end(),
                              [&](const auto& offered) { return offered.first == type; });
    if (found != served_.types.end()) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        Nanos until = monotonicNow() + serveBound;
        if (writeAll(fd, found->second, until)) {
            waitUntilDrained(fd, until);
        }
    }
    ::close(fd);
}

void ClipboardConnection::dropSource() {
    if (source_) {
        dataControl::destroy(source_);
        source_ = nullptr;
    }
}

}  // namespace quorvel::kwin
