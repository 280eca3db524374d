#pragma once

// Connections to the desktop's accessibility bus and to single applications, made without side
// effects: only the session bus that the environment names is used (none is ever launched), it
// must give the accessibility bus's address, and the accessibility registry must run there or be
// startable by that bus. Every call on the way is bounded, so a bus that says nothing gives no
// connection instead of a hang.

#include <string>

#include "platform/linux/atspi/DBusHandles.h"

namespace quorvel::atspi {

// Null when any step fails.
ConnectionPtr connectToAccessibilityBus();

enum class Peer { MessageBus, Application };

// A connection to a message bus (registered on it within the timeout) or straight to one
// application; null when it cannot be made. Addresses that would launch anything are refused.
ConnectionPtr connectTo(const std::string& address, Peer peer, int timeoutMilliseconds);

}  // namespace quorvel::atspi
