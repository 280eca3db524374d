#include "platform/linux/AccessibilityBus.h"

#include <gio/gio.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace quorvel {

namespace {

// Bounds every step, so that a bus that accepts the connection and then says nothing cannot
// hold the request.
constexpr int callTimeoutMilliseconds = 500;

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using Connection = std::unique_ptr<GDBusConnection, ObjectUnref>;

struct VariantUnref {
    void operator()(GVariant* variant) const { g_variant_unref(variant); }
};
using Variant = std::unique_ptr<GVariant, VariantUnref>;

// The driver writes nothing on standard error; GLib's messages go nowhere.
GLogWriterOutput discardLog(GLogLevelFlags, const GLogField*, gsize, gpointer) {
    return G_LOG_WRITER_HANDLED;
}

void silenceGlib() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_log_set_writer_func(discardLog, nullptr, nullptr);
        g_log_set_default_handler([](const gchar*, GLogLevelFlags, const gchar*, gpointer) {},
                                  nullptr);
    });
}

// The connection is made in the background with a deadline: a bus that never finishes the
// handshake gives no connection instead of a hang.
Connection connectTo(const std::string& address) {
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    struct Outcome {
        bool done = false;
        GDBusConnection* connection = nullptr;
    } outcome;
    GCancellable* cancellable = g_cancellable_new();
    g_dbus_connection_new_for_address(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, cancellable,
        [](GObject*, GAsyncResult* result, gpointer data) {
            auto* outcome = static_cast<Outcome*>(data);
            outcome->connection = g_dbus_connection_new_for_address_finish(result, nullptr);
            outcome->done = true;
        },
        &outcome);
    gint64 deadline = g_get_monotonic_time() + callTimeoutMilliseconds * 1000;
    while (!outcome.done) {
        if (g_get_monotonic_time() >= deadline) {
            g_cancellable_cancel(cancellable);
            while (!outcome.done) {
                g_main_context_iteration(context, TRUE);
            }
            break;
        }
        // Wake up at least every 10 ms to look at the deadline.
        GSource* tick = g_timeout_source_new(10);
        g_source_set_callback(
            tick, [](gpointer) { return G_SOURCE_REMOVE; }, nullptr, nullptr);
        g_source_attach(tick, context);
        g_main_context_iteration(context, TRUE);
        g_source_destroy(tick);
        g_source_unref(tick);
    }
    g_object_unref(cancellable);
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    return Connection(outcome.connection);
}

Variant call(GDBusConnection* connection, const char* destination, const char* path,
             const char* interface, const char* method, GVariant* parameters,
             const char* replyType) {
    return Variant(g_dbus_connection_call_sync(
        connection, destination, path, interface, method, parameters, G_VARIANT_TYPE(replyType),
        G_DBUS_CALL_FLAGS_NO_AUTO_START, callTimeoutMilliseconds, nullptr, nullptr));
}

std::optional<std::string> accessibilityBusAddress(GDBusConnection* session) {
    Variant reply = call(session, "org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                         nullptr, "(s)");
    if (!reply) {
        return std::nullopt;
    }
    const gchar* address = nullptr;
    g_variant_get(reply.get(), "(&s)", &address);
    if (!address || !*address) {
        return std::nullopt;
    }
    return std::string(address);
}

constexpr const char* registryName = "org.a11y.atspi.Registry";

// The registry runs, or the bus starts it for the first client that asks: it is started on
// demand, so a desktop whose applications have not needed it yet has none running.
bool registryAvailable(GDBusConnection* bus) {
    Variant owner =
        call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
             "NameHasOwner", g_variant_new("(s)", registryName), "(b)");
    gboolean hasOwner = FALSE;
    if (owner) {
        g_variant_get(owner.get(), "(b)", &hasOwner);
    }
    if (hasOwner) {
        return true;
    }
    Variant activatable = call(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "ListActivatableNames", nullptr, "(as)");
    if (!activatable) {
        return false;
    }
    GVariantIter* names = nullptr;
    const gchar* name = nullptr;
    bool found = false;
    g_variant_get(activatable.get(), "(as)", &names);
    while (g_variant_iter_loop(names, "&s", &name)) {
        found = found || g_strcmp0(name, registryName) == 0;
    }
    g_variant_iter_free(names);
    return found;
}

}  // namespace

bool accessibilityBusReady() {
    // Only the session bus that the environment names; without one there is no accessibility.
    const char* sessionAddress = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (!sessionAddress || !*sessionAddress) {
        return false;
    }
    silenceGlib();
    Connection session = connectTo(sessionAddress);
    if (!session) {
        return false;
    }
    std::optional<std::string> address = accessibilityBusAddress(session.get());
    if (!address) {
        return false;
    }
    Connection accessibility = connectTo(*address);
    if (!accessibility) {
        return false;
    }
    return registryAvailable(accessibility.get());
}

}  // namespace quorvel
