#include <gtest/gtest.h>

#include "platform/linux/atspi/BusCalls.h"

namespace quorvel::atspi {
namespace {

// Bus names and paths come from other applications' replies; a malformed one makes no call
// (and no complaint from libdbus on standard error).
TEST(BusCalls, MalformedNamesAndPathsMakeNoCall) {
    struct Case {
        const char* destination;
        const char* path;
        bool made;
    } cases[] = {
        {":1.42", "/org/a11y/atspi/accessible/root", true},
        {"org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/7", true},
        {"", "/org/a11y/atspi/accessible/7", true},  // straight to an application
        {"not a name", "/org/a11y/atspi/accessible/7", false},
        {":1.42", "relative/path", false},
        {":1.42", "/trailing/", false},
        {":1.42", "", false},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(std::string(each.destination) + " " + each.path);
        MessagePtr call =
            methodCall(each.destination, each.path, "org.a11y.atspi.Accessible", "GetRole");
        EXPECT_EQ(call != nullptr, each.made);
        if (call) {
            EXPECT_FALSE(dbus_message_get_auto_start(call.get()));
        }
    }
}

TEST(BusCalls, NoConnectionGivesAnEmptyReplyPerCall) {
    std::vector<MessagePtr> calls;
    calls.push_back(methodCall(":1.1", "/a", "org.a11y.atspi.Accessible", "GetRole"));
    calls.push_back(nullptr);
    std::vector<BusReply> replies = callAll(nullptr, calls, 100);
    ASSERT_EQ(replies.size(), 2u);
    for (const BusReply& reply : replies) {
        EXPECT_EQ(reply.value, nullptr);
        EXPECT_FALSE(reply.timedOut);
    }
}

}  // namespace
}  // namespace quorvel::atspi
