// Desktops that cannot take the input: KWin killed while a batch types (one valid line with the
// true message within a second), and weston, a compositor without KWin's services, where every
// input batch is refused before any event and the application receives nothing.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "../../e2e/ExpectReply.h"
#include "../../e2e/Requests.h"
#include "../../e2e/VirtualDesktop.h"
#include "WaylandDesktop.h"

namespace quorvel::e2e {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string refused = "Screen Recording permission is missing. No input sent.";

class TemporaryFolder {
  public:
    TemporaryFolder() {
        std::string pattern = std::filesystem::temp_directory_path() / "quorvel-wayland.XXXXXX";
        if (mkdtemp(pattern.data())) {
            path_ = pattern;
        }
    }
    ~TemporaryFolder() {
        if (!path_.empty()) {
            std::filesystem::remove_all(path_);
        }
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

TEST(KWinLostTest, KWinKilledMidBatchEndsItWithOneTrueLineWithinASecond) {
    TemporaryFolder folder;
    FieldsApp gtk(FieldsApp::Toolkit::Gtk4, folder.path(), "Quorvel GTK 4 fields");
    WaylandDesktop desktop(WaylandDesktop::Compositor::KWin, {gtk.command()});
    ASSERT_TRUE(desktop.started()) << "the KWin desktop did not start";
    std::int32_t pid = desktop.appPids().at(0);

    Clock::time_point killed;
    DriverOptions options;
    options.meanwhileAfter = 800ms;
    options.meanwhile = [&](int) {
        killed = Clock::now();
        kill(desktop.compositorPid(), SIGKILL);
    };
    DriverReply run = expectError(batch(pid, {keys({"ctrl", "a"}), type(std::string(600, 'x'))}),
                                  lostFocus, options);
    ASSERT_NE(killed, Clock::time_point{}) << "the batch ended before KWin was killed";
    ASSERT_GE(run.lineElapsed.count(), 0) << "no reply line";
    EXPECT_EQ(std::count(run.line.begin(), run.line.end(), '\n'), 1) << run.line;
    double latency =
        std::chrono::duration<double, std::milli>(run.started + run.lineElapsed - killed).count();
    EXPECT_LT(latency, 1000.0);
    EXPECT_GT(gtk.text("first").size(), 0u) << "typing had not begun when KWin was killed";
    std::printf("[ measured ] reply %.1f ms after KWin was killed\n", latency);
}

TEST(RefusedCompositorTest, WestonObservesWhatItCanAndRefusesEveryInputBatch) {
    TemporaryFolder folder;
    FieldsApp gtk(FieldsApp::Toolkit::Gtk4, folder.path(), "Quorvel GTK 4 fields");
    WaylandDesktop desktop(WaylandDesktop::Compositor::Weston, {gtk.command()});
    ASSERT_TRUE(desktop.started()) << "the weston desktop did not start";
    std::int32_t pid = desktop.appPids().at(0);
    ASSERT_TRUE(gtk.waitFor("shown")) << "the application's window was not shown";

    // Without KWin the driver cannot see the windows: it says so, and observes nonetheless.
    DriverReply observed = expectOk(batch(pid, Json::array()));
    EXPECT_EQ(observed.reply.value("screen_capture", true), false) << observed.line;

    const Json batches[] = {
        Json::array({click(100, 100)}),
        Json::array({type("hello")}),
        Json::array({keys({"ctrl", "a"})}),
        Json::array(
            {{{"type", "scroll"}, {"x", 100}, {"y", 100}, {"scroll_x", 0}, {"scroll_y", 30}}}),
    };
    for (const Json& actions : batches) {
        expectError(batch(pid, actions), refused);
    }
    EXPECT_EQ(gtk.pressCount(), 0u) << "the application received input";
    EXPECT_EQ(gtk.text("first"), "");
}

}  // namespace
}  // namespace quorvel::e2e
