#include "platform/linux/atspi/AccessibilityConnection.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/linux/atspi/BusCalls.h"
#include "platform/linux/atspi/ReplyParsing.h"

namespace quorvel::atspi {

namespace {

constexpr int stepTimeoutMilliseconds = 500;

MessagePtr busCall(const char* method) {
    return methodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                      method);
}

std::optional<std::string> accessibilityBusAddress(DBusConnection* session) {
    MessagePtr call = methodCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress");
    if (!call) {
        return std::nullopt;
    }
    std::optional<std::string> address =
        parseText(callOne(session, std::move(call), stepTimeoutMilliseconds).value.get());
    if (!address || address->empty()) {
        return std::nullopt;
    }
    return address;
}

constexpr const char* registryName = "org.a11y.atspi.Registry";

bool registryRunning(DBusConnection* accessibility) {
    MessagePtr call = busCall("NameHasOwner");
    const char* name = registryName;
    if (!call ||
        !dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID)) {
        return false;
    }
    BusReply reply = callOne(accessibility, std::move(call), stepTimeoutMilliseconds);
    return parseBoolean(reply.value.get()).value_or(false);
}

// The bus starts the registry for the first application that needs it: a desktop whose
// applications have not needed it yet has none running, and still has accessibility.
bool registryStartable(DBusConnection* accessibility) {
    BusReply reply =
        callOne(accessibility, busCall("ListActivatableNames"), stepTimeoutMilliseconds);
    std::optional<std::vector<std::string>> names = parseStrings(reply.value.get());
    return names && std::find(names->begin(), names->end(), registryName) != names->end();
}

}  // namespace

ConnectionPtr connectTo(const std::string& address, Peer peer, int timeoutMilliseconds) {
    // "autolaunch:" would start a bus of its own, and a launcher with it.
    if (address.empty() || std::string_view(address).starts_with("autolaunch:")) {
        return nullptr;
    }
    ErrorScope error;
    ConnectionPtr connection(dbus_connection_open_private(address.c_str(), error.get()));
    if (!connection) {
        return nullptr;
    }
    dbus_connection_set_exit_on_disconnect(connection.get(), FALSE);
    if (peer == Peer::MessageBus) {
        BusReply hello = callOne(connection.get(), busCall("Hello"), timeoutMilliseconds);
        if (!parseText(hello.value.get())) {
            return nullptr;
        }
    }
    return connection;
}

ConnectionPtr connectToAccessibilityBus() {
    const char* sessionAddress = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!sessionAddress || !*sessionAddress) {
        return nullptr;
    }
    ConnectionPtr session = connectTo(sessionAddress, Peer::MessageBus, stepTimeoutMilliseconds);
    if (!session) {
        return nullptr;
    }
    std::optional<std::string> address = accessibilityBusAddress(session.get());
    if (!address) {
        return nullptr;
    }
    ConnectionPtr accessibility = connectTo(*address, Peer::MessageBus, stepTimeoutMilliseconds);
    if (!accessibility ||
        (!registryRunning(accessibility.get()) && !registryStartable(accessibility.get()))) {
        return nullptr;
    }
    return accessibility;
}

}  // namespace quorvel::atspi
