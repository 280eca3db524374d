#include "platform/linux/atspi/AccessibilityConnection.h"

#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

#include "platform/linux/atspi/BusCalls.h"

namespace quorvel::atspi {

namespace {

constexpr int stepTimeoutMilliseconds = 500;

GLogWriterOutput discardLog(GLogLevelFlags, const GLogField*, gsize, gpointer) {
    return G_LOG_WRITER_HANDLED;
}

struct Connecting {
    bool done = false;
    GDBusConnection* connection = nullptr;
};

}  // namespace

// The handshake runs on a context of our own with a deadline; past it the attempt is cancelled
// and its end awaited, so nothing refers to this frame afterwards.
ObjectPtr<GDBusConnection> connectTo(const std::string& address, Peer peer,
                                     int timeoutMilliseconds) {
    MainContextPtr context(g_main_context_new());
    g_main_context_push_thread_default(context.get());
    Connecting connecting;
    ObjectPtr<GCancellable> cancellable(g_cancellable_new());
    auto flags = static_cast<GDBusConnectionFlags>(
        G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
        (peer == Peer::MessageBus ? G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION : 0));
    g_dbus_connection_new_for_address(
        address.c_str(), flags, nullptr, cancellable.get(),
        [](GObject*, GAsyncResult* result, gpointer data) {
            auto* connecting = static_cast<Connecting*>(data);
            connecting->connection = g_dbus_connection_new_for_address_finish(result, nullptr);
            connecting->done = true;
        },
        &connecting);
    gint64 deadline = g_get_monotonic_time() + gint64{timeoutMilliseconds} * 1000;
    // A tick wakes the loop every 10 ms to look at the deadline.
    GSource* tick = g_timeout_source_new(10);
    g_source_set_callback(
        tick, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr, nullptr);
    g_source_attach(tick, context.get());
    while (!connecting.done) {
        if (g_get_monotonic_time() >= deadline) {
            g_cancellable_cancel(cancellable.get());
        }
        g_main_context_iteration(context.get(), TRUE);
    }
    g_source_destroy(tick);
    g_source_unref(tick);
    g_main_context_pop_thread_default(context.get());
    return ObjectPtr<GDBusConnection>(connecting.connection);
}

namespace {

std::optional<std::string> accessibilityBusAddress(GDBusConnection* session) {
    BusReply reply = callOne(
        session,
        BusCall{"org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", nullptr, "(s)"},
        stepTimeoutMilliseconds);
    if (!reply.value) {
        return std::nullopt;
    }
    const gchar* address = nullptr;
    g_variant_get(reply.value.get(), "(&s)", &address);
    if (!address || !*address) {
        return std::nullopt;
    }
    return std::string(address);
}

bool registryHasOwner(GDBusConnection* accessibility) {
    BusReply reply = callOne(
        accessibility,
        BusCall{"org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "NameHasOwner", arguments(g_variant_new("(s)", "org.a11y.atspi.Registry")), "(b)"},
        stepTimeoutMilliseconds);
    if (!reply.value) {
        return false;
    }
    gboolean hasOwner = FALSE;
    g_variant_get(reply.value.get(), "(b)", &hasOwner);
    return hasOwner != FALSE;
}

}  // namespace

void silenceGlibMessages() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_log_set_writer_func(discardLog, nullptr, nullptr);
        g_log_set_default_handler([](const gchar*, GLogLevelFlags, const gchar*, gpointer) {},
                                  nullptr);
    });
}

ObjectPtr<GDBusConnection> connectToAccessibilityBus() {
    const char* sessionAddress = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!sessionAddress || !*sessionAddress) {
        return nullptr;
    }
    silenceGlibMessages();
    ObjectPtr<GDBusConnection> session =
        connectTo(sessionAddress, Peer::MessageBus, stepTimeoutMilliseconds);
    if (!session) {
        return nullptr;
    }
    std::optional<std::string> address = accessibilityBusAddress(session.get());
    if (!address) {
        return nullptr;
    }
    ObjectPtr<GDBusConnection> accessibility =
        connectTo(*address, Peer::MessageBus, stepTimeoutMilliseconds);
    if (!accessibility || !registryHasOwner(accessibility.get())) {
        return nullptr;
    }
    return accessibility;
}

}  // namespace quorvel::atspi
