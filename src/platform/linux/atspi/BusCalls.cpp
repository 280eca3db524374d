#include "platform/linux/atspi/BusCalls.h"

#include <time.h>

#include <algorithm>
#include <cstdint>

namespace quorvel::atspi {

namespace {

std::int64_t monotonicMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1'000'000;
}

}  // namespace

MessagePtr methodCall(const std::string& destination, const std::string& path,
                      const char* interface, const char* method) {
    // Names and paths can come from other processes' replies: libdbus would complain on standard
    // error about a malformed one, so such a call is simply not made.
    if ((!destination.empty() && !dbus_validate_bus_name(destination.c_str(), nullptr)) ||
        !dbus_validate_path(path.c_str(), nullptr)) {
        return nullptr;
    }
    MessagePtr call(dbus_message_new_method_call(
        destination.empty() ? nullptr : destination.c_str(), path.c_str(), interface, method));
    if (call) {
        // Nothing is ever started to answer the driver.
        dbus_message_set_auto_start(call.get(), FALSE);
    }
    return call;
}

SentCalls sendAll(DBusConnection* connection, const std::vector<MessagePtr>& calls) {
    SentCalls sent{connection, 0, {}};
    sendMore(sent, calls);
    return sent;
}

void sendMore(SentCalls& sent, const std::vector<MessagePtr>& calls) {
    std::size_t first = sent.count;
    sent.count += calls.size();
    if (!sent.connection || !dbus_connection_get_is_connected(sent.connection)) {
        return;
    }
    for (std::size_t index = 0; index < calls.size(); ++index) {
        dbus_uint32_t serial = 0;
        if (calls[index] && dbus_connection_send(sent.connection, calls[index].get(), &serial)) {
            sent.waiting.emplace(serial, first + index);
        }
    }
}

std::vector<BusReply> awaitAll(SentCalls sent, int timeoutMilliseconds,
                               const std::function<bool()>& giveUp) {
    return awaitEach(sent, timeoutMilliseconds, giveUp, {});
}

std::vector<BusReply> awaitEach(SentCalls& sent, int timeoutMilliseconds,
                                const std::function<bool()>& giveUp,
                                const AnswerHandler& answered) {
    std::vector<BusReply> replies(sent.count);
    DBusConnection* connection = sent.connection;
    auto& waiting = sent.waiting;
    std::int64_t deadline = monotonicMilliseconds() + timeoutMilliseconds;
    while (!waiting.empty()) {
        bool anyAnswer = false;
        while (DBusMessage* raw = dbus_connection_pop_message(connection)) {
            MessagePtr message(raw);
            int type = dbus_message_get_type(raw);
            if (type != DBUS_MESSAGE_TYPE_METHOD_RETURN && type != DBUS_MESSAGE_TYPE_ERROR) {
                continue;  // nobody asked for signals; they are dropped
            }
            auto found = waiting.find(dbus_message_get_reply_serial(raw));
            if (found == waiting.end()) {
                continue;  // the answer to an earlier batch that timed out
            }
            std::size_t index = found->second;
            if (type == DBUS_MESSAGE_TYPE_METHOD_RETURN) {
                replies[index].value = std::move(message);
            }
            waiting.erase(found);
            anyAnswer = true;
            if (answered) {
                answered(index, replies);
                replies.resize(sent.count);
            }
        }
        if (anyAnswer) {
            deadline = monotonicMilliseconds() + timeoutMilliseconds;
        }
        std::int64_t left = deadline - monotonicMilliseconds();
        if (waiting.empty() || left <= 0 || !dbus_connection_get_is_connected(connection) ||
            (giveUp && giveUp())) {
            break;
        }
        // Writes what is still queued and reads what has come, in slices short enough for the
        // request's end to be noticed.
        if (!dbus_connection_read_write(connection,
                                        static_cast<int>(std::clamp<std::int64_t>(left, 1, 20)))) {
            break;  // disconnected
        }
    }
    replies.resize(sent.count);
    for (const auto& [serial, index] : waiting) {
        replies[index].timedOut = dbus_connection_get_is_connected(connection);
    }
    return replies;
}

std::vector<BusReply> callAll(DBusConnection* connection, const std::vector<MessagePtr>& calls,
                              int timeoutMilliseconds, const std::function<bool()>& giveUp) {
    return awaitAll(sendAll(connection, calls), timeoutMilliseconds, giveUp);
}

BusReply callOne(DBusConnection* connection, MessagePtr call, int timeoutMilliseconds) {
    std::vector<MessagePtr> calls;
    calls.push_back(std::move(call));
    return std::move(callAll(connection, calls, timeoutMilliseconds).front());
}

}  // namespace quorvel::atspi
