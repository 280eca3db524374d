#pragma once

// The connection to the desktop's accessibility bus, made without side effects: only the session
// bus that the environment names is used (none is ever launched), it must give the accessibility
// bus's address, and the accessibility registry must have an owner there. Every step is bounded,
// so a bus that accepts a connection and then says nothing gives no connection instead of a hang.

#include <string>

#include "platform/linux/atspi/GlibHandles.h"

namespace quorvel::atspi {

// Null when any step fails.
ObjectPtr<GDBusConnection> connectToAccessibilityBus();

enum class Peer { MessageBus, Application };

// A connection to a message bus, or directly to one application, made within the timeout; null
// when it cannot be made in that time.
ObjectPtr<GDBusConnection> connectTo(const std::string& address, Peer peer,
                                     int timeoutMilliseconds);

// The driver writes nothing on standard error: GLib's messages are dropped from here on.
void silenceGlibMessages();

}  // namespace quorvel::atspi
