#pragma once

// The driver's own connection to the session bus, for KWin: calls bounded by a timeout, the
// reports that the driver's KWin scripts send back to its unique name, and the name that one
// driver at a time holds while it sends input. Nothing here waits without a bound.

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/linux/atspi/DBusHandles.h"

namespace quorvel::kwin {

using atspi::MessagePtr;

class SessionBus {
  public:
    // The path and interface under which the driver's scripts call it back.
    static constexpr const char* callbackPath = "/org/quorvel/computer/KWin";
    static constexpr const char* callbackInterface = "org.quorvel.computer.KWin";

    // Connects to the bus the environment names; empty when there is none or it does not answer
    // within `timeoutMilliseconds`. Never starts a bus.
    static std::optional<SessionBus> connect(int timeoutMilliseconds);

    SessionBus(SessionBus&&) = default;
    SessionBus& operator=(SessionBus&&) = default;

    const std::string& uniqueName() const { return uniqueName_; }
    bool connected() const;

    // A method call and its reply; null on an error reply, a timeout or a lost connection.
    // Callbacks that arrive meanwhile are taken in.
    MessagePtr call(MessagePtr message, int timeoutMilliseconds);

    // Takes in what has arrived, waiting up to `wait` for something when nothing has.
    void receive(std::chrono::milliseconds wait);

    // The last text that a script sent with `method`, and how many such calls came so far.
    struct Callback {
        std::string text;
        std::uint64_t count = 0;
    };
    const Callback& lastCallback(const std::string& method) const;

    // One owner at a time: true while this connection owns `name`.
    bool own(const char* name, int timeoutMilliseconds);
    void disown(const char* name, int timeoutMilliseconds);

  private:
    SessionBus() = default;
    void take(DBusMessage* message);

    atspi::ConnectionPtr connection_;
    std::string uniqueName_;
    std::vector<std::pair<std::string, Callback>> callbacks_;
};

MessagePtr methodCall(const char* destination, const char* path, const char* interface,
                      const char* method);

}  // namespace quorvel::kwin
