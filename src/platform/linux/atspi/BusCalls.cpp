#include "platform/linux/atspi/BusCalls.h"

#include <cstddef>

namespace quorvel::atspi {

namespace {

struct Batch {
    std::vector<BusReply>* replies = nullptr;
    std::size_t pending = 0;
};

struct Slot {
    Batch* batch = nullptr;
    std::size_t index = 0;
};

void answered(GObject* source, GAsyncResult* result, gpointer data) {
    auto* slot = static_cast<Slot*>(data);
    GError* raw = nullptr;
    VariantPtr value(
        g_dbus_connection_call_finish(reinterpret_cast<GDBusConnection*>(source), result, &raw));
    ErrorPtr error(raw);
    BusReply& reply = (*slot->batch->replies)[slot->index];
    reply.value = std::move(value);
    reply.timedOut = error && g_error_matches(error.get(), G_IO_ERROR, G_IO_ERROR_TIMED_OUT);
    --slot->batch->pending;
}

}  // namespace

VariantPtr arguments(GVariant* floating) {
    return VariantPtr(g_variant_ref_sink(floating));
}

std::vector<BusReply> callAll(GDBusConnection* connection, std::vector<BusCall>& calls,
                              int timeoutMilliseconds) {
    std::vector<BusReply> replies(calls.size());
    if (!connection || calls.empty()) {
        return replies;
    }
    // The answers are dispatched on a context of our own, so that nothing else runs meanwhile.
    MainContextPtr context(g_main_context_new());
    g_main_context_push_thread_default(context.get());
    Batch batch{&replies, calls.size()};
    std::vector<Slot> slots(calls.size());
    for (std::size_t index = 0; index < calls.size(); ++index) {
        BusCall& call = calls[index];
        slots[index] = Slot{&batch, index};
        g_dbus_connection_call(
            connection, call.destination.empty() ? nullptr : call.destination.c_str(),
            call.path.c_str(), call.interface, call.method, call.arguments.get(),
            call.replyType ? G_VARIANT_TYPE(call.replyType) : nullptr,
            G_DBUS_CALL_FLAGS_NO_AUTO_START, timeoutMilliseconds, nullptr, answered, &slots[index]);
    }
    // Every call ends, answered or timed out, so this loop ends too.
    while (batch.pending > 0) {
        g_main_context_iteration(context.get(), TRUE);
    }
    g_main_context_pop_thread_default(context.get());
    return replies;
}

BusReply callOne(GDBusConnection* connection, BusCall call, int timeoutMilliseconds) {
    std::vector<BusCall> calls;
    calls.push_back(std::move(call));
    return std::move(callAll(connection, calls, timeoutMilliseconds).front());
}

}  // namespace quorvel::atspi
