#pragma once

// Method calls on a D-Bus connection, sent together and answered together: the calls of one
// batch are all written before the first answer is awaited, so the batch costs one round trip
// plus the other process's own work, not one round trip per call. Replies are read on the
// calling thread; nothing else runs meanwhile.

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
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

// Sends every call and waits for every answer; the replies are in the order of the calls. Null
// calls get null replies. Each answer is awaited at most `timeoutMilliseconds` after the one
// before it (the first after the batch was sent): an application that stops answering costs
// one timeout, and one that answers steadily but slowly (LibreOffice takes a few hundred
// microseconds a call) is given the time each of its reads would have had alone. The wait also
// ends as soon as `giveUp` says so.
std::vector<BusReply> callAll(DBusConnection* connection, const std::vector<MessagePtr>& calls,
                              int timeoutMilliseconds, const std::function<bool()>& giveUp = {});

BusReply callOne(DBusConnection* connection, MessagePtr call, int timeoutMilliseconds);

// A batch sent and not yet awaited: `callAll` in two halves, so that other work can go on while
// the other process answers. Only one batch may be outstanding on a connection at a time:
// awaiting one drops the answers to any other.
struct SentCalls {
    DBusConnection* connection = nullptr;
    std::size_t count = 0;
    // The serial of each call sent, and its place in the batch.
    std::unordered_map<dbus_uint32_t, std::size_t> waiting;
};
SentCalls sendAll(DBusConnection* connection, const std::vector<MessagePtr>& calls);
// Sends more calls as part of a batch already sent: their replies follow the earlier ones'.
void sendMore(SentCalls& sent, const std::vector<MessagePtr>& calls);
std::vector<BusReply> awaitAll(SentCalls sent, int timeoutMilliseconds,
                               const std::function<bool()>& giveUp = {});
// `awaitAll`, telling `answered` of each answer as it comes in: its place in the batch, and the
// replies so far. It may send more calls in the batch (`sendMore`): their answers are awaited
// too, so that a call that depends on an answer goes out the moment that answer is in.
using AnswerHandler = std::function<void(std::size_t index, const std::vector<BusReply>& replies)>;
std::vector<BusReply> awaitEach(SentCalls& sent, int timeoutMilliseconds,
                                const std::function<bool()>& giveUp, const AnswerHandler& answered);

}  // namespace quorvel::atspi
