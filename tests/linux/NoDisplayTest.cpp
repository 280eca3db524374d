#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/linux/x11/X11Platform.h"

namespace quorvel {
namespace {

// Sets an environment variable for the life of the object, restoring it afterwards.
class ScopedEnvironment {
  public:
    ScopedEnvironment(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            old_ = old;
        }
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~ScopedEnvironment() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

void expectNoDesktop(X11Platform& platform) {
    EXPECT_EQ(platform.windowServerList(), Json::array());
    EXPECT_EQ(platform.frontmostPid(), std::nullopt);
    EXPECT_FALSE(platform.screenCaptureAllowed());
    EXPECT_FALSE(platform.accessibilityTrusted());
    EXPECT_EQ(platform.makeMouseEvent(MouseEventType::Moved, {1, 1}, MouseButton::Left), nullptr);
    EXPECT_EQ(platform.makePixelScrollEvent(1, 0), nullptr);
    EXPECT_EQ(platform.makeKeyboardEvent(0, true), nullptr);
    platform.releaseInput();
}

TEST(X11PlatformWithoutDesktop, AnswersLikeAMachineWithoutOne) {
    struct Case {
        const char* display;
        const char* bus;
    };
    // No display at all, a display that does not exist, a session bus address that leads
    // nowhere: every answer is the empty one and nothing hangs.
    const Case cases[] = {{nullptr, nullptr}, {"", ""}, {":987", "unix:path=/nonexistent/bus"}};
    for (const Case& test : cases) {
        ScopedEnvironment display("DISPLAY", test.display);
        ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS", test.bus);
        X11Platform platform;
        expectNoDesktop(platform);
    }
}

TEST(X11PlatformWithoutDesktop, RealTimeSleepsAtLeastTheDuration) {
    X11Platform platform;
    Nanos start = platform.now();
    platform.sleep(std::chrono::milliseconds(2));
    EXPECT_GE(platform.now() - start, std::chrono::milliseconds(2));
    platform.sleep(Nanos{-5});
    EXPECT_EQ(platform.runningApplication(0), nullptr);
    EXPECT_NE(platform.runningApplication(static_cast<Pid>(getpid())), nullptr);
}

}  // namespace
}  // namespace quorvel
