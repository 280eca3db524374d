#pragma once

// Method calls on a D-Bus connection, sent together and answered together: the calls of one
// batch are all written before the first answer is awaited, so the batch costs one round trip
// plus the other process's own work, not one round trip per call.

#include <string>
#include <vector>

#include "platform/linux/atspi/GlibHandles.h"

namespace quorvel::atspi {

struct BusCall {
    // Empty on a connection straight to an application.
    std::string destination;
    std::string path;
    const char* interface = "";
    const char* method = "";
    // Owned; null for a call without arguments.
    VariantPtr arguments;
    // The reply's type, e.g. "(iiii)"; an answer of another type counts as no answer.
    const char* replyType = nullptr;
};

struct BusReply {
    // Null when the call failed, was refused or was not answered in time.
    VariantPtr value;
    bool timedOut = false;
};

// Sends every call and waits for every answer, each at most `timeoutMilliseconds` from when it
// was sent; the replies are in the order of the calls. Never blocks longer than that bound plus
// the time to send.
std::vector<BusReply> callAll(GDBusConnection* connection, std::vector<BusCall>& calls,
                              int timeoutMilliseconds);

// One call, answered within `timeoutMilliseconds`.
BusReply callOne(GDBusConnection* connection, BusCall call, int timeoutMilliseconds);

// A variant for the arguments of a call, owned.
VariantPtr arguments(GVariant* floating);

}  // namespace quorvel::atspi
