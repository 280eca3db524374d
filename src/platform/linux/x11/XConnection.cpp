#include "platform/linux/x11/XConnection.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>
#include <xcb/xcbext.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/linux/common/MonotonicClock.h"
#include "platform/linux/x11/WindowLayer.h"

namespace quorvel::x11 {

void FreeDeleter::operator()(void* pointer) const {
    std::free(pointer);
}

std::vector<std::uint32_t> Property::cardinals() const {
    std::vector<std::uint32_t> values;
    if (format != 32) {
        return values;
    }
    values.resize(bytes.size() / 4);
    if (!values.empty()) {
        std::memcpy(values.data(), bytes.data(), values.size() * 4);
    }
    return values;
}

std::optional<std::uint32_t> Property::firstCardinal() const {
    std::vector<std::uint32_t> values = cardinals();
    if (values.empty()) {
        return std::nullopt;
    }
    return values.front();
}

namespace {

// Interns every name in one round trip; a name the server refuses stays 0 (no atom).
std::vector<xcb_atom_t> internAtoms(const XConnection& connection,
                                    const std::vector<std::string_view>& names) {
    std::vector<xcb_intern_atom_cookie_t> cookies;
    cookies.reserve(names.size());
    for (std::string_view name : names) {
        cookies.push_back(xcb_intern_atom(connection.xcb(), 0,
                                          static_cast<std::uint16_t>(name.size()), name.data()));
    }
    std::vector<xcb_atom_t> atoms;
    atoms.reserve(names.size());
    for (xcb_intern_atom_cookie_t cookie : cookies) {
        ReplyPtr<xcb_intern_atom_reply_t> reply = connection.reply<xcb_intern_atom_reply_t>(cookie);
        atoms.push_back(reply ? reply->atom : 0);
    }
    return atoms;
}

Atoms internDesktopAtoms(const XConnection& connection) {
    std::vector<std::string_view> names = {"_NET_ACTIVE_WINDOW",
                                           "_NET_CLIENT_LIST_STACKING",
                                           "_NET_CURRENT_DESKTOP",
                                           "_NET_SUPPORTING_WM_CHECK",
                                           "_NET_WM_DESKTOP",
                                           "_NET_WM_NAME",
                                           "_NET_WM_PID",
                                           "_NET_WM_STATE",
                                           "_NET_WM_STATE_ABOVE",
                                           "_NET_WM_STATE_BELOW",
                                           "_NET_WM_STATE_HIDDEN",
                                           "_NET_WM_WINDOW_TYPE",
                                           "UTF8_STRING",
                                           "COMPOUND_TEXT",
                                           "WM_STATE"};
    std::size_t fixed = names.size();
    for (std::string_view typeName : windowTypeAtomNames()) {
        names.push_back(typeName);
    }
    std::vector<xcb_atom_t> atoms = internAtoms(connection, names);
    Atoms result;
    xcb_atom_t* slots[] = {&result.netActiveWindow,
                           &result.netClientListStacking,
                           &result.netCurrentDesktop,
                           &result.netSupportingWmCheck,
                           &result.netWmDesktop,
                           &result.netWmName,
                           &result.netWmPid,
                           &result.netWmState,
                           &result.netWmStateAbove,
                           &result.netWmStateBelow,
                           &result.netWmStateHidden,
                           &result.netWmWindowType,
                           &result.utf8String,
                           &result.compoundText,
                           &result.wmState};
    static_assert(sizeof(slots) / sizeof(slots[0]) == 15);
    for (std::size_t index = 0; index < fixed; ++index) {
        *slots[index] = atoms[index];
    }
    result.windowTypes.assign(atoms.begin() + static_cast<std::ptrdiff_t>(fixed), atoms.end());
    return result;
}

}  // namespace

namespace {

constexpr auto waitSlice = std::chrono::milliseconds(20);

// A connection this process stopped using but keeps open for a copy of itself.
xcb_connection_t* handedOverConnection = nullptr;

// A connection being made on a thread of its own: the server answers a new client only when no
// other client holds it grabbed, and XCB's wait for that answer cannot be interrupted. Whoever
// finishes last, the connecting thread or the one that gave up on it, closes what was made.
struct PendingConnection {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    bool abandoned = false;
    xcb_connection_t* connection = nullptr;
    int screenNumber = 0;
};

void connectOnThread(const std::shared_ptr<PendingConnection>& pending) {
    // The signals that cancel a request belong to the thread that serves it.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    std::lock_guard<std::mutex> lock(pending->mutex);
    if (pending->abandoned) {
        xcb_disconnect(connection);
        return;
    }
    pending->connection = connection;
    pending->screenNumber = screenNumber;
    pending->finished = true;
    pending->done.notify_one();
}

}  // namespace

XConnection::XConnection() = default;

void XConnection::connect() const {
    if (attempted_) {
        return;
    }
    attempted_ = true;
    // Without DISPLAY there is no desktop to reach; XCB would fail the same way, only later.
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) {
        return;
    }
    auto pending = std::make_shared<PendingConnection>();
    try {
        std::thread(connectOnThread, pending).detach();
    } catch (const std::system_error&) {
        return;  // no thread to be had: no desktop
    }
    {
        std::unique_lock<std::mutex> lock(pending->mutex);
        while (!pending->done.wait_for(lock, waitSlice, [&] { return pending->finished; })) {
            if (givingUp()) {
                pending->abandoned = true;
                return;
            }
        }
    }
    connection_ = pending->connection;
    if (xcb_connection_has_error(connection_)) {
        return;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int index = 0; screens.rem > 0 && index < pending->screenNumber; ++index) {
        xcb_screen_next(&screens);
    }
    if (screens.rem == 0) {
        return;
    }
    root_ = screens.data->root;
    screenSize_ = {screens.data->width_in_pixels, screens.data->height_in_pixels};
    atoms_ = internDesktopAtoms(*this);
}

XConnection::~XConnection() {
    ungrabServer();
    if (connection_) {
        xcb_disconnect(connection_);
    }
}

void XConnection::handOver() {
    // Disconnecting would shut the socket down for every process that holds it; the process's
    // end closes only its own descriptor. What XCB holds stays in reach till then, on purpose.
    handedOverConnection = connection_;
    connection_ = nullptr;
    root_ = 0;
    grabbed_ = false;
}

void keepOpenUntilHandled(XConnection& connection) {
    pid_t keeper = fork();
    if (keeper < 0) {
        return;  // the releases may then be lost with the connection; nothing else to do
    }
    if (keeper == 0) {
        int nothing = open("/dev/null", O_RDWR);
        for (int stream = 0; stream <= 2; ++stream) {
            dup2(nothing, stream);
        }
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(240);
        connection.setGiveUp([until] { return std::chrono::steady_clock::now() >= until; });
        connection.sync();
        _exit(0);
    }
    connection.handOver();
}

bool XConnection::usable() const {
    connect();
    return connection_ && root_ != 0 && xcb_connection_has_error(connection_) == 0;
}

bool XConnection::closedBefore(std::chrono::nanoseconds until) const {
    if (!connection_ || xcb_connection_has_error(connection_)) {
        return connection_ != nullptr;
    }
    // Only the peer's closing wakes the wait: what a live server sends stays in the socket for
    // the readers that expect it.
    pollfd socket{xcb_get_file_descriptor(connection_), POLLRDHUP, 0};
    for (;;) {
        std::int64_t left = (until - monotonicNow()).count();
        if (left <= 0) {
            return false;
        }
        timespec timeout{static_cast<time_t>(left / 1000000000),
                         static_cast<long>(left % 1000000000)};
        if (ppoll(&socket, 1, &timeout, nullptr) > 0) {
            break;  // signals only raise the cancellation flag: EINTR waits on
        }
    }
    // The server is gone: reading the rest makes XCB see the end of the connection.
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        std::free(event);
    }
    return xcb_connection_has_error(connection_) != 0;
}

void* XConnection::awaitReply(unsigned int sequence) const {
    if (!connection_) {
        return nullptr;
    }
    xcb_flush(connection_);
    for (;;) {
        void* reply = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (xcb_poll_for_reply(connection_, sequence, &reply, &error)) {
            std::free(error);
            return reply;
        }
        if (xcb_connection_has_error(connection_)) {
            return nullptr;
        }
        if (givingUp()) {
            xcb_discard_reply(connection_, sequence);
            return nullptr;
        }
        // A signal ends the wait at once; the deadline is seen within one slice.
        pollfd socket{xcb_get_file_descriptor(connection_), POLLIN, 0};
        poll(&socket, 1, static_cast<int>(waitSlice.count()));
    }
}

bool XConnection::hasExtension(const char* name) const {
    for (const auto& [known, present] : extensions_) {
        if (known == name) {
            return present;
        }
    }
    bool present = false;
    if (usable()) {
        ReplyPtr<xcb_query_extension_reply_t> reply = this->reply<xcb_query_extension_reply_t>(
            xcb_query_extension(connection_, static_cast<std::uint16_t>(std::strlen(name)), name));
        if (!reply) {
            return false;  // no answer yet: asked again next time
        }
        present = reply->present != 0;
    }
    extensions_.emplace_back(name, present);
    return present;
}

xcb_get_property_cookie_t XConnection::requestProperty(xcb_window_t window, xcb_atom_t name,
                                                       std::uint32_t longLength) const {
    return xcb_get_property(connection_, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, longLength);
}

std::optional<Property> XConnection::property(xcb_get_property_cookie_t cookie) const {
    ReplyPtr<xcb_get_property_reply_t> reply = this->reply<xcb_get_property_reply_t>(cookie);
    if (!reply || reply->type == XCB_ATOM_NONE) {
        return std::nullopt;
    }
    Property result;
    result.type = reply->type;
    result.format = reply->format;
    int length = xcb_get_property_value_length(reply.get());
    if (length > 0) {
        result.bytes.assign(static_cast<const char*>(xcb_get_property_value(reply.get())),
                            static_cast<std::size_t>(length));
    }
    return result;
}

bool XConnection::sync() const {
    if (!usable()) {
        return false;
    }
    // A request with a reply: its answer comes after every earlier request has been handled.
    return reply<xcb_get_input_focus_reply_t>(xcb_get_input_focus(connection_)) != nullptr;
}

void XConnection::grabServer() {
    if (usable() && !grabbed_) {
        xcb_grab_server(connection_);
        grabbed_ = true;
    }
}

void XConnection::ungrabServer() {
    if (grabbed_) {
        grabbed_ = false;
        if (usable()) {
            xcb_ungrab_server(connection_);
            xcb_flush(connection_);
        }
    }
}

void XConnection::flush() const {
    if (usable()) {
        xcb_flush(connection_);
    }
}

}  // namespace quorvel::x11
