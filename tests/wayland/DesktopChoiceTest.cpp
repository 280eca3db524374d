#include <gtest/gtest.h>

#include "platform/linux/DesktopChoice.h"

namespace quorvel {
namespace {

TEST(DesktopChoice, FollowsTheConnectionsTheSessionGives) {
    struct Case {
        SessionConnections session;
        LinuxDesktop desktop;
    };
    const Case cases[] = {
        // KWin 6 with its services, in a build that can send input through it.
        {{.waylandDisplay = true, .kwin = true, .kwinInputBuilt = true, .xDisplay = true},
         LinuxDesktop::KWinWayland},
        {{.waylandDisplay = true, .kwin = true, .kwinInputBuilt = true}, LinuxDesktop::KWinWayland},
        // A build without libei only observes KWin.
        {{.waylandDisplay = true, .kwin = true, .xDisplay = true}, LinuxDesktop::OtherWayland},
        // GNOME or wlroots, even with XWayland's display beside it: XWayland sees only X clients.
        {{.waylandDisplay = true, .kwinInputBuilt = true, .xDisplay = true},
         LinuxDesktop::OtherWayland},
        {{.waylandDisplay = true, .kwinInputBuilt = true}, LinuxDesktop::OtherWayland},
        // An X server alone, KWin's X11 session included.
        {{.kwin = true, .kwinInputBuilt = true, .xDisplay = true}, LinuxDesktop::X11},
        {{.xDisplay = true}, LinuxDesktop::X11},
        {{.kwin = true, .kwinInputBuilt = true}, LinuxDesktop::None},
        {{}, LinuxDesktop::None},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(chooseDesktop(c.session), c.desktop)
            << c.session.waylandDisplay << c.session.kwin << c.session.kwinInputBuilt
            << c.session.xDisplay;
    }
}

}  // namespace
}  // namespace quorvel
