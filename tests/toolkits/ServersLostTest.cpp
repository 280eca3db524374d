// The X server, the session bus or the accessibility bus killed while a request runs, each on a
// desktop of its own: the request still ends within a second of the loss, with one valid line
// whose message is true about whether input may have been sent, and nothing on standard error.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>

#include "../e2e/DriverRun.h"
#include "../e2e/Requests.h"
#include "../e2e/VirtualDesktop.h"

namespace quorvel::e2e {
namespace {

using Service = VirtualDesktop::Service;
using std::chrono::milliseconds;

struct Loss {
    const char* name;
    const char* application;
    Service killed;
    // The window manager stands for a target without windows: `focus` polls it in vain.
    bool windowlessTarget;
    Json actions;
    milliseconds after;
    // The error expected; empty for an observation.
    std::string error;
};

class ServersLost : public testing::TestWithParam<Loss> {};

TEST_P(ServersLost, EndTheRequestWithinASecondInOneTrueLine) {
    const Loss& loss = GetParam();
    VirtualDesktop desktop({loss.application});
    ASSERT_TRUE(desktop.started());
    std::int32_t victim = desktop.servicePid(loss.killed);
    ASSERT_GT(victim, 0);
    std::int32_t target =
        loss.windowlessTarget ? desktop.servicePid(Service::WindowManager) : desktop.appPids()[0];

    DriverReply run = runDriver(batch(target, loss.actions),
                                {.meanwhileAfter = loss.after,
                                 .meanwhile = [victim](int) { kill(victim, SIGKILL); },
                                 .executable = {}});

    ASSERT_TRUE(run.reply.is_object()) << run.line;
    EXPECT_EQ(run.errorOutput, "");
    EXPECT_LT(run.lineElapsed - loss.after, milliseconds(1000)) << run.line;
    if (loss.error.empty()) {
        EXPECT_EQ(run.exitStatus, 0) << run.line;
        EXPECT_EQ(run.reply.value("ok", false), true) << run.line;
    } else {
        EXPECT_EQ(run.exitStatus, 1) << run.line;
        EXPECT_EQ(run.reply, (Json{{"ok", false}, {"error", loss.error}}));
    }
    if (loss.killed == Service::XServer && loss.error.empty()) {
        EXPECT_EQ(run.reply["windows"], Json::array()) << "a desktop that has gone has no windows";
    }
    if (loss.killed == Service::AccessibilityBus && !loss.actions.empty()) {
        // Gone before the observation began: the observation says so.
        EXPECT_EQ(run.reply.value("accessibility", true), false) << run.line;
    }
}

const std::string longText(400, 'a');

INSTANTIATE_TEST_SUITE_P(
    Losses, ServersLost,
    testing::Values(
        Loss{"XServerWhileRaising", "xterm", Service::XServer, true, Json::array({click(10, 10)}),
             milliseconds(500), "Could not raise target window; no input sent"},
        Loss{"XServerMidText", "xterm", Service::XServer, false, Json::array({type(longText)}),
             milliseconds(1000), lostFocus},
        Loss{"XServerMidWait", "xterm", Service::XServer, false,
             Json::array({{{"type", "wait"}, {"seconds", 5}}}), milliseconds(1000), ""},
        Loss{"SessionBusMidWait", "xterm", Service::SessionBus, false,
             Json::array({{{"type", "wait"}, {"seconds", 0.5}}}), milliseconds(300), ""},
        Loss{"AccessibilityBusMidWait", "gtk3-widget-factory", Service::AccessibilityBus, false,
             Json::array({{{"type", "wait"}, {"seconds", 0.5}}}), milliseconds(300), ""},
        Loss{"AccessibilityBusMidObservation", "gtk3-widget-factory", Service::AccessibilityBus,
             false, Json::array(), milliseconds(215), ""}),
    [](const testing::TestParamInfo<Loss>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvel::e2e
