// The Linux platform against a real X server and window manager: what each operation gives
// and leaves behind, without the driver's logic in between.

#include <gtest/gtest.h>

#include <thread>

#include "DesktopEnvironment.h"
#include "main/Unicode.h"
#include "platform/linux/x11/X11Platform.h"

namespace quorvel::e2e {
namespace {

using namespace std::chrono_literals;

const Json* entryOf(const Json& list, std::int32_t pid) {
    for (const Json& entry : list) {
        if (entry.value("kCGWindowOwnerPID", 0) == pid && entry.value("kCGWindowLayer", -9) == 0) {
            return &entry;
        }
    }
    return nullptr;
}

// Polls as the driver's focusing does, 50 ms apart, at most `polls` times (the driver makes 40).
// Gives the number of polls it took, or 0.
int pollsUntilRaised(X11Platform& platform, std::int32_t pid, int polls = 40) {
    for (int poll = 1; poll <= polls; ++poll) {
        platform.sleep(50ms);
        Json list = platform.windowServerList();
        const Json* first = nullptr;
        for (const Json& entry : list) {
            if (entry.value("kCGWindowLayer", -9) == 0) {
                first = &entry;
                break;
            }
        }
        std::optional<Pid> frontmost = platform.frontmostPid();
        // The frontmost query holds the X server until the platform's next operation; the
        // test's own connection must not wait behind it.
        platform.releaseInput();
        if (frontmost == pid && first && first->value("kCGWindowOwnerPID", 0) == pid) {
            return poll;
        }
    }
    return 0;
}

// As the driver types: the focus query before each key-down, which sends the previous
// character's key-up behind its questions.
void typeText(X11Platform& platform, const std::string& text) {
    for (const std::u16string& character : graphemeClusters(text)) {
        EventHandle down = platform.makeKeyboardEvent(0, true);
        ASSERT_NE(down, nullptr);
        platform.setFlags(*down, 0);
        platform.setUnicodeString(*down, character);
        ASSERT_TRUE(platform.frontmostPid().has_value());
        platform.post(*down);
        platform.sleep(5ms);
        EventHandle up = platform.makeKeyboardEvent(0, false);
        platform.setFlags(*up, 0);
        platform.post(*up);
    }
}

class PlatformOnDesktop : public ::testing::Test {
  protected:
    // Brings an application to the front for a test, allowing the window manager more time
    // than the driver would: after many keyboard mapping changes it catches up slowly when the
    // machine is busy.
    void activate(std::int32_t pid) {
        platform.runningApplication(pid)->activate();
        ASSERT_GT(pollsUntilRaised(platform, pid, 200), 0) << "pid " << pid << " was not raised";
    }

    SharedDesktop& desktop = shared();
    X11Platform platform;
    XProbe probe;
};

TEST_F(PlatformOnDesktop, WindowListNamesEveryApplicationWindowFrontToBack) {
    activate(desktop.terminal);
    Json list = platform.windowServerList();
    ASSERT_TRUE(list.is_array());
    const Json* factory = entryOf(list, desktop.widgetFactory);
    const Json* terminal = entryOf(list, desktop.terminal);
    ASSERT_NE(factory, nullptr) << list.dump();
    ASSERT_NE(terminal, nullptr) << list.dump();
    EXPECT_EQ(list.front(), *terminal) << "the active terminal is in front";
    EXPECT_EQ((*factory)["kCGWindowOwnerName"], "Gtk3-widget-factory");
    EXPECT_EQ((*factory)["kCGWindowName"], "gtk3-widget-factory");
    EXPECT_EQ((*factory)["kCGWindowNumber"], probe.windowOf(desktop.widgetFactory));
    EXPECT_EQ((*terminal)["kCGWindowOwnerName"], "XTerm");
    // openbox decorates the terminal: the frame is larger than the 80x10 client it holds.
    const Json& bounds = (*terminal)["kCGWindowBounds"];
    EXPECT_EQ(bounds["X"], 600);
    EXPECT_EQ(bounds["Y"], 560);
    EXPECT_GT(bounds["Width"].get<int>(), 80 * 5);
    EXPECT_GT(bounds["Height"].get<int>(), 10 * 10);
}

TEST_F(PlatformOnDesktop, ActivationIsConfirmedWithinTheFocusPolls) {
    for (std::int32_t pid :
         {desktop.widgetFactory, desktop.terminal, desktop.demo, desktop.widgetFactory}) {
        platform.runningApplication(pid)->activate();
        int polls = pollsUntilRaised(platform, pid);
        EXPECT_GT(polls, 0) << "pid " << pid;
        EXPECT_LE(polls, 3) << "pid " << pid;
    }
}

TEST_F(PlatformOnDesktop, ActivationRestoresAMinimisedWindowAndSwitchesDesktops) {
    xcb_window_t terminal = probe.windowOf(desktop.terminal);
    ASSERT_NE(terminal, 0u);
    probe.minimise(terminal);
    for (int poll = 0; poll < 40 && entryOf(platform.windowServerList(), desktop.terminal);
         ++poll) {
        platform.sleep(50ms);
    }
    EXPECT_EQ(entryOf(platform.windowServerList(), desktop.terminal), nullptr);
    activate(desktop.terminal);

    probe.moveToDesktop(terminal, 1);
    activate(desktop.widgetFactory);
    activate(desktop.terminal);
    EXPECT_EQ(probe.currentDesktop(), 1u);
    probe.moveToDesktop(terminal, 0);
    activate(desktop.widgetFactory);
    EXPECT_EQ(probe.currentDesktop(), 0u);
}

TEST_F(PlatformOnDesktop, FrontmostIsTheOwnerOfTheKeyboardFocus) {
    activate(desktop.demo);
    EXPECT_EQ(platform.frontmostPid(), desktop.demo);
    EXPECT_EQ(platform.runningApplication(desktop.demo)->isTerminated(), false);
    activate(desktop.widgetFactory);
    EXPECT_EQ(platform.frontmostPid(), desktop.widgetFactory);
    platform.releaseInput();
}

TEST_F(PlatformOnDesktop, TypedTextArrivesByteExactAndTheKeymapIsRestored) {
    activate(desktop.terminal);
    std::vector<std::uint32_t> mapping = probe.keyboardMapping();
    truncateFile(desktop.terminalFile);
    const std::string text =
        "plain ASCII ~!@#$%^&*()_+{}|:\"<>?`-=[]\\;',./ "
        "caf\u00E9 e\u0301 \u65E5\u672C\u8A9E \uD55C\uAD6D\uC5B4 \U0001F600 "
        "\U0001F468\u200D\U0001F469\u200D\U0001F467 \U0001F3F3\uFE0F\u200D\U0001F308 "
        "\U0001F1EB\U0001F1F7 \u00DF\u0391\u0416\u05D0\u0627\u0E01 Tab\there\r\n";
    typeText(platform, text);
    platform.releaseInput();
    EXPECT_EQ(readWhenSize(desktop.terminalFile, text.size()), text);
    EXPECT_EQ(coreKeymap(probe.keyboardMapping()), coreKeymap(mapping));
    EXPECT_TRUE(probe.keysDown().empty());
}

TEST_F(PlatformOnDesktop, AKeyUpPostedDirectlyNeverWaitsThroughAPause) {
    activate(desktop.terminal);
    truncateFile(desktop.terminalFile);
    typeText(platform, "k");
    // The key-up waits for the next request; a pause, or anything else that takes time, sends
    // it first.
    platform.sleep(1ms);
    // A pause asks nothing of the server, which may read the probe's question before the
    // key-up: the probe asks again for a while. A key-up still waiting in the platform would
    // never come, since the platform sends nothing meanwhile.
    bool released = false;
    for (int attempt = 0; attempt < 20 && !released; ++attempt) {
        released = probe.keysDown().empty();
        if (!released) {
            std::this_thread::sleep_for(5ms);
        }
    }
    EXPECT_TRUE(released);
    typeText(platform, "\u00E9");
    EXPECT_EQ(platform.windowServerList().empty(), false);
    EXPECT_TRUE(probe.keysDown().empty());
    typeText(platform, "m");
    ASSERT_TRUE(platform.frontmostPid().has_value());
    platform.makeKeyboardEvent(0, false);  // ends the grab, so that the probe gets an answer
    EXPECT_TRUE(probe.keysDown().empty());
    platform.releaseInput();
    EXPECT_EQ(readWhenSize(desktop.terminalFile, 4), "k\u00E9m");
}

TEST_F(PlatformOnDesktop, ManyDistinctCharactersOutnumberingTheSpareKeysArriveInOrder) {
    activate(desktop.terminal);
    std::vector<std::uint32_t> mapping = probe.keyboardMapping();
    truncateFile(desktop.terminalFile);
    std::string text;
    for (char32_t code = 0x4E00; code < 0x4E00 + 60; ++code) {  // 60 CJK ideographs
        text += static_cast<char>(0xE0 | (code >> 12));
        text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (code & 0x3F));
    }
    typeText(platform, text);
    platform.releaseInput();
    EXPECT_EQ(readWhenSize(desktop.terminalFile, text.size()), text);
    EXPECT_EQ(coreKeymap(probe.keyboardMapping()), coreKeymap(mapping));
}

TEST_F(PlatformOnDesktop, ReleasingInputLetsGoOfEveryKeyAndButtonAndRestoresTheKeymap) {
    activate(desktop.widgetFactory);
    std::vector<std::uint32_t> mapping = probe.keyboardMapping();
    // A chord whose key-up never came, a typed character bound to a spare key still held,
    // and a button still down on an empty part of the window.
    EventHandle chord = platform.makeKeyboardEvent(1, true);
    platform.setFlags(*chord, 0x40000 | 0x20000 | 0x80000 | 0x100000);
    platform.post(*chord);
    EventHandle character = platform.makeKeyboardEvent(0, true);
    platform.setUnicodeString(*character, u"\u263A");
    platform.post(*character);
    platform.post(
        *platform.makeMouseEvent(MouseEventType::RightDown, {300, 530}, MouseButton::Right));
    platform.sleep(20ms);
    EXPECT_EQ(probe.keysDown().size(), 6u);
    EXPECT_EQ(probe.buttonsDown(), std::vector<int>{3});
    EXPECT_NE(coreKeymap(probe.keyboardMapping()), coreKeymap(mapping));

    platform.releaseInput();
    EXPECT_TRUE(probe.keysDown().empty());
    EXPECT_TRUE(probe.buttonsDown().empty());
    EXPECT_EQ(coreKeymap(probe.keyboardMapping()), coreKeymap(mapping));
    EventHandle escape = platform.makeKeyboardEvent(53, true);
    platform.post(*escape);
    platform.post(*platform.makeKeyboardEvent(53, false));
    platform.releaseInput();
}

TEST_F(PlatformOnDesktop, PointerEventsGoWhereTheyAreAsked) {
    activate(desktop.widgetFactory);
    platform.post(
        *platform.makeMouseEvent(MouseEventType::Moved, {123.4, 456.6}, MouseButton::Left));
    // Its round trip makes sure the server has handled the move before another connection asks.
    platform.releaseInput();
    // The pixel that holds the point, as a window's bounds hold it: 456.6 is in row 456.
    EXPECT_EQ(probe.pointer(), (std::pair<int, int>{123, 456}));
}

}  // namespace
}  // namespace quorvel::e2e
