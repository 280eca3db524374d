#pragma once

// Method calls on a D-Bus connection, sent together and answered together: the calls of one
// batch are all written before the first answer is awaited, so the batch costs one round trip
// plus the other process's own work, not one round trip per call. Replies are read on the
// calling thread; nothing else runs meanwhile.

#include <string>
#include <vector>

#include "platform/linux/atspi/DBusHandles.h"

namespace quorvel::atspi {

struct BusReply {
    // Null when the call failed, was refused or was not answered in time.
    MessagePtr value;
    bool timedOut = false;
};

// A method call without arguments yet, which starts no service to answer it; null when the
// destination or the path is malformed. An empty destination is for a connection straight to an
// application.
MessagePtr methodCall(const std::string& destination, const std::string& path,
                      const char* interface, const char* method);

// Sends every call and waits for every answer, each at most `timeoutMilliseconds` from when the
// batch was sent; the replies are in the order of the calls. Null calls get null replies.
std::vector<BusReply> callAll(DBusConnection* connection, const std::vector<MessagePtr>& calls,
                              int timeoutMilliseconds);

BusReply callOne(DBusConnection* connection, MessagePtr call, int timeoutMilliseconds);

}  // namespace quorvel::atspi
