#include "FakeApplication.h"

#include <poll.h>

#include <cstring>

namespace quorvel::atspi {

namespace {

constexpr const char* busName = ":1.7";

void appendVariant(DBusMessage* reply, int type, const void* value) {
    const char signature[2] = {static_cast<char>(type), '\0'};
    DBusMessageIter arguments;
    DBusMessageIter variant;
    dbus_message_iter_init_append(reply, &arguments);
    dbus_message_iter_open_container(&arguments, DBUS_TYPE_VARIANT, signature, &variant);
    dbus_message_iter_append_basic(&variant, type, value);
    dbus_message_iter_close_container(&arguments, &variant);
}

void appendReference(DBusMessageIter* into, const std::string& path) {
    DBusMessageIter reference;
    const char* name = busName;
    const char* object = path.c_str();
    dbus_message_iter_open_container(into, DBUS_TYPE_STRUCT, nullptr, &reference);
    dbus_message_iter_append_basic(&reference, DBUS_TYPE_STRING, &name);
    dbus_message_iter_append_basic(&reference, DBUS_TYPE_OBJECT_PATH, &object);
    dbus_message_iter_close_container(into, &reference);
}

dbus_bool_t addWatch(DBusWatch* watch, void* data) {
    static_cast<std::vector<DBusWatch*>*>(data)->push_back(watch);
    return TRUE;
}

void removeWatch(DBusWatch* watch, void* data) {
    auto* watches = static_cast<std::vector<DBusWatch*>*>(data);
    std::erase(*watches, watch);
}

}  // namespace

FakeApplication::FakeApplication(std::string toolkit, std::map<std::string, FakeObject> objects)
    : toolkit_(std::move(toolkit)), objects_(std::move(objects)) {
    dbus_threads_init_default();
    server_ = dbus_server_listen("unix:tmpdir=/tmp", nullptr);
    if (!server_) {
        return;
    }
    dbus_server_set_watch_functions(server_, addWatch, removeWatch, nullptr, &watches_, nullptr);
    dbus_server_set_new_connection_function(
        server_,
        [](DBusServer*, DBusConnection* connection, void* data) {
            static_cast<FakeApplication*>(data)->peer_ = dbus_connection_ref(connection);
        },
        this, nullptr);
    char* address = dbus_server_get_address(server_);
    client_ = dbus_connection_open_private(address, nullptr);
    dbus_free(address);
    thread_ = std::thread([this] {
        // Accepts the one connection, then answers on it until stopped.
        while (!stop_ && !peer_) {
            for (DBusWatch* watch : std::vector<DBusWatch*>(watches_)) {
                pollfd ready{dbus_watch_get_unix_fd(watch), POLLIN, 0};
                if (dbus_watch_get_enabled(watch) && poll(&ready, 1, 5) > 0) {
                    dbus_watch_handle(watch, DBUS_WATCH_READABLE);
                }
            }
        }
        serve();
    });
}

FakeApplication::~FakeApplication() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
    for (DBusConnection* connection : {client_, peer_}) {
        if (connection) {
            dbus_connection_close(connection);
            dbus_connection_unref(connection);
        }
    }
    if (server_) {
        dbus_server_disconnect(server_);
        dbus_server_unref(server_);
    }
}

std::vector<std::string> FakeApplication::calls() {
    std::lock_guard lock(mutex_);
    return calls_;
}

void FakeApplication::serve() {
    while (!stop_ && peer_ && dbus_connection_read_write(peer_, 5)) {
        while (DBusMessage* call = dbus_connection_pop_message(peer_)) {
            if (dbus_message_get_type(call) == DBUS_MESSAGE_TYPE_METHOD_CALL) {
                answer(peer_, call);
            }
            dbus_message_unref(call);
        }
    }
}

void FakeApplication::answer(DBusConnection* connection, DBusMessage* call) {
    std::string member = dbus_message_get_member(call);
    std::string path = dbus_message_get_path(call);
    const char* property = nullptr;
    if (member == "Get") {
        const char* interface = nullptr;
        dbus_message_get_args(call, nullptr, DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                              &property, DBUS_TYPE_INVALID);
        member += std::string(":") + (property ? property : "");
    }
    std::string logged = member;
    logged.append(" ").append(path);
    dbus_int32_t index = -1;
    if (member == "GetChildAtIndex") {
        dbus_message_get_args(call, nullptr, DBUS_TYPE_INT32, &index, DBUS_TYPE_INVALID);
        logged.append(" ").append(std::to_string(index));
    }
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(logged);
    }
    auto found = objects_.find(path);
    DBusMessage* reply = dbus_message_new_method_return(call);
    bool answered = found != objects_.end();
    if (answered) {
        const FakeObject& object = found->second;
        auto childCount = static_cast<dbus_int32_t>(object.children.size());
        auto characters = static_cast<dbus_int32_t>(object.text.size());
        const char* name = object.name.c_str();
        const char* empty = "";
        const char* toolkit = toolkit_.c_str();
        if (member == "Get:ChildCount") {
            appendVariant(reply, DBUS_TYPE_INT32, &childCount);
        } else if (member == "Get:Name") {
            appendVariant(reply, DBUS_TYPE_STRING, &name);
        } else if (member == "Get:Description") {
            appendVariant(reply, DBUS_TYPE_STRING, &empty);
        } else if (member == "Get:ToolkitName") {
            appendVariant(reply, DBUS_TYPE_STRING, &toolkit);
        } else if (member == "Get:CharacterCount") {
            appendVariant(reply, DBUS_TYPE_INT32, &characters);
        } else if (member == "GetRole") {
            dbus_message_append_args(reply, DBUS_TYPE_UINT32, &object.role, DBUS_TYPE_INVALID);
        } else if (member == "GetState") {
            // Showing and visible.
            dbus_uint32_t words[2] = {(1u << 25) | (1u << 30), 0};
            const dbus_uint32_t* start = words;
            dbus_message_append_args(reply, DBUS_TYPE_ARRAY, DBUS_TYPE_UINT32, &start, 2,
                                     DBUS_TYPE_INVALID);
        } else if (member == "GetChildren") {
            DBusMessageIter arguments;
            DBusMessageIter list;
            dbus_message_iter_init_append(reply, &arguments);
            dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "(so)", &list);
            for (const std::string& child : object.children) {
                appendReference(&list, child);
            }
            dbus_message_iter_close_container(&arguments, &list);
        } else if (member == "GetChildAtIndex") {
            answered = index >= 0 && index < childCount;
            if (answered) {
                DBusMessageIter arguments;
                dbus_message_iter_init_append(reply, &arguments);
                appendReference(&arguments, object.children[static_cast<std::size_t>(index)]);
            }
        } else if (member == "GetExtents") {
            DBusMessageIter arguments;
            DBusMessageIter box;
            dbus_message_iter_init_append(reply, &arguments);
            dbus_message_iter_open_container(&arguments, DBUS_TYPE_STRUCT, nullptr, &box);
            for (dbus_int32_t value : {10, 20, 30, 40}) {
                dbus_message_iter_append_basic(&box, DBUS_TYPE_INT32, &value);
            }
            dbus_message_iter_close_container(&arguments, &box);
        } else if (member == "GetText") {
            const char* text = object.text.c_str();
            dbus_message_append_args(reply, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
        } else {
            answered = false;
        }
    }
    if (!answered) {
        dbus_message_unref(reply);
        reply = dbus_message_new_error(call, DBUS_ERROR_UNKNOWN_METHOD, member.c_str());
    }
    dbus_connection_send(connection, reply, nullptr);
    dbus_message_unref(reply);
}

}  // namespace quorvel::atspi
