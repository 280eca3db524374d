#pragma once

// An accessible application for tests: a tree of objects served over a private D-Bus connection
// by a thread of its own, answering the AT-SPI calls the driver makes and logging each of them.

#include <dbus/dbus.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quorvel::atspi {

struct FakeObject {
    std::uint32_t role = 0;
    std::string name;
    std::vector<std::string> children;  // paths
    std::string text;
};

class FakeApplication {
  public:
    // `objects` by path; the application object is "/org/a11y/atspi/accessible/root".
    FakeApplication(std::string toolkit, std::map<std::string, FakeObject> objects);
    ~FakeApplication();
    FakeApplication(const FakeApplication&) = delete;
    FakeApplication& operator=(const FakeApplication&) = delete;

    // The driver's end of the connection; null when it could not be made.
    DBusConnection* connection() const { return client_; }
    // "Member path" of every call answered so far, in order.
    std::vector<std::string> calls();

  private:
    void serve();
    void answer(DBusConnection* connection, DBusMessage* call);

    std::string toolkit_;
    std::map<std::string, FakeObject> objects_;
    DBusServer* server_ = nullptr;
    std::vector<DBusWatch*> watches_;
    DBusConnection* client_ = nullptr;
    DBusConnection* peer_ = nullptr;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> calls_;
};

}  // namespace quorvel::atspi
