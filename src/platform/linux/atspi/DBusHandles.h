#pragma once

// Owning handles for libdbus objects: each is released when its handle goes out of scope.

#include <dbus/dbus.h>

#include <memory>

namespace quorvel::atspi {

struct MessageUnref {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using MessagePtr = std::unique_ptr<DBusMessage, MessageUnref>;

// A private connection is closed before its last reference goes.
struct ConnectionClose {
    void operator()(DBusConnection* connection) const {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
};
using ConnectionPtr = std::unique_ptr<DBusConnection, ConnectionClose>;

// A DBusError that is freed on every path.
class ErrorScope {
  public:
    ErrorScope() { dbus_error_init(&error_); }
    ~ErrorScope() { dbus_error_free(&error_); }
    ErrorScope(const ErrorScope&) = delete;
    ErrorScope& operator=(const ErrorScope&) = delete;
    DBusError* get() { return &error_; }

  private:
    DBusError error_;
};

}  // namespace quorvel::atspi
