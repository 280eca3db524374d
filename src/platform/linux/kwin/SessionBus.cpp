#include "platform/linux/kwin/SessionBus.h"

#include <cstdlib>
#include <string_view>

namespace quorvel::kwin {

namespace {

bool stringArgument(DBusMessage* message, std::string& into) {
    const char* text = nullptr;
    atspi::ErrorScope error;
    if (!dbus_message_get_args(message, error.get(), DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID) ||
        !text) {
        return false;
    }
    into = text;
    return true;
}

}  // namespace

MessagePtr methodCall(const char* destination, const char* path, const char* interface,
                      const char* method) {
    return MessagePtr(dbus_message_new_method_call(destination, path, interface, method));
}

std::optional<SessionBus> SessionBus::connect(int timeoutMilliseconds) {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    // "autolaunch:" would start a bus of its own.
    if (!address || !*address || std::string_view(address).starts_with("autolaunch:")) {
        return std::nullopt;
    }
    SessionBus bus;
    atspi::ErrorScope error;
    bus.connection_.reset(dbus_connection_open_private(address, error.get()));
    if (!bus.connection_) {
        return std::nullopt;
    }
    dbus_connection_set_exit_on_disconnect(bus.connection_.get(), FALSE);
    MessagePtr hello = methodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "Hello");
    if (!hello) {
        return std::nullopt;
    }
    MessagePtr reply = bus.call(std::move(hello), timeoutMilliseconds);
    if (!reply || !stringArgument(reply.get(), bus.uniqueName_)) {
        return std::nullopt;
    }
    dbus_bus_set_unique_name(bus.connection_.get(), bus.uniqueName_.c_str());
    return bus;
}

bool SessionBus::connected() const {
    return connection_ && dbus_connection_get_is_connected(connection_.get());
}

MessagePtr SessionBus::call(MessagePtr message, int timeoutMilliseconds) {
    if (!connected() || !message) {
        return nullptr;
    }
    atspi::ErrorScope error;
    // Messages that arrive before the reply wait in the connection's queue, in order: the
    // reports a script sent before KWin answered are all there once the reply is.
    MessagePtr reply(dbus_connection_send_with_reply_and_block(connection_.get(), message.get(),
                                                               timeoutMilliseconds, error.get()));
    receive(std::chrono::milliseconds(0));
    return reply;
}

void SessionBus::receive(std::chrono::milliseconds wait) {
    if (!connected()) {
        return;
    }
    bool tookAny = false;
    while (DBusMessage* message = dbus_connection_pop_message(connection_.get())) {
        MessagePtr owned(message);
        take(message);
        tookAny = true;
    }
    if (tookAny) {
        return;
    }
    dbus_connection_read_write(connection_.get(), static_cast<int>(wait.count()));
    while (DBusMessage* message = dbus_connection_pop_message(connection_.get())) {
        MessagePtr owned(message);
        take(message);
    }
}

void SessionBus::take(DBusMessage* message) {
    if (dbus_message_get_type(message) != DBUS_MESSAGE_TYPE_METHOD_CALL) {
        return;
    }
    if (dbus_message_has_path(message, callbackPath) &&
        dbus_message_has_interface(message, callbackInterface)) {
        std::string method = dbus_message_get_member(message);
        std::string text;
        stringArgument(message, text);
        auto found = std::find_if(callbacks_.begin(), callbacks_.end(),
                                  [&](const auto& entry) { return entry.first == method; });
        if (found == callbacks_.end()) {
            callbacks_.emplace_back(method, Callback{});
            found = std::prev(callbacks_.end());
        }
        found->second.text = std::move(text);
        ++found->second.count;
    }
    // Every call is answered, so that no caller waits out its timeout.
    if (!dbus_message_get_no_reply(message)) {
        MessagePtr answer(dbus_message_new_method_return(message));
        if (answer) {
            dbus_connection_send(connection_.get(), answer.get(), nullptr);
            dbus_connection_flush(connection_.get());
        }
    }
}

const SessionBus::Callback& SessionBus::lastCallback(const std::string& method) const {
    static const Callback none;
    for (const auto& [name, callback] : callbacks_) {
        if (name == method) {
            return callback;
        }
    }
    return none;
}

bool SessionBus::own(const char* name, int timeoutMilliseconds) {
    MessagePtr request = methodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                    "org.freedesktop.DBus", "RequestName");
    dbus_uint32_t flags = DBUS_NAME_FLAG_DO_NOT_QUEUE;
    if (!request || !dbus_message_append_args(request.get(), DBUS_TYPE_STRING, &name,
                                              DBUS_TYPE_UINT32, &flags, DBUS_TYPE_INVALID)) {
        return false;
    }
    MessagePtr reply = call(std::move(request), timeoutMilliseconds);
    dbus_uint32_t result = 0;
    atspi::ErrorScope error;
    if (!reply || !dbus_message_get_args(reply.get(), error.get(), DBUS_TYPE_UINT32, &result,
                                         DBUS_TYPE_INVALID)) {
        return false;
    }
    return result == DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER ||
           result == DBUS_REQUEST_NAME_REPLY_ALREADY_OWNER;
}

void SessionBus::disown(const char* name, int timeoutMilliseconds) {
    MessagePtr request = methodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                    "org.freedesktop.DBus", "ReleaseName");
    if (request &&
        dbus_message_append_args(request.get(), DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID)) {
        call(std::move(request), timeoutMilliseconds);
    }
}

}  // namespace quorvel::kwin
