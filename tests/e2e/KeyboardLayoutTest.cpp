// Typing under layouts other than the default, and beside other clients that change the
// keyboard: the terminal must receive exactly the text, and the keyboard must be left as it
// was, every key another client set included.

#include <gtest/gtest.h>

#include <thread>

#include "DesktopEnvironment.h"
#include "DriverRun.h"

namespace quorvel::e2e {
namespace {

using namespace std::chrono_literals;

const std::string clients = std::string(QUORVEL_SOURCE_DIR) + "/tests/e2e/clients/";

// ASCII that moves between us and de (y, z, symbols), letters with case that no key of either
// layout has (ā, ł, ф), and text without case.
const std::string mixedText =
    "Yz zY 2@ 3# [x] {;} '\"' caf\u00E9 \u00C9 \u00FC\u00DC \u0101\u0100 \u0142 \u0444\u0424 "
    "\u65E5\u672C \U0001F600";

std::string layoutState(const std::string& arguments) {
    return runShell("/usr/bin/python3 " + shellQuoted(clients + "layout_state.py") + " " +
                    arguments)
        .output;
}

std::string xkbKeymap() {
    return runShell("xkbcomp -xkb \"$DISPLAY\" - 2>/dev/null").output;
}

Json typing(std::int32_t pid, const std::string& text) {
    return {{"pid", pid}, {"actions", {{{"type", "type"}, {"text", text}}}}};
}

class KeyboardLayout : public ::testing::Test {
  protected:
    void SetUp() override { truncateFile(desktop.terminalFile); }
    // Whatever a test set, the next one starts from the default layout, unlocked, and with a
    // window manager that has taken in every change (it holds clicks until then).
    void TearDown() override {
        EXPECT_TRUE(probe.keysDown().empty());
        layoutState("caps off");
        layoutState("group 0");
        runShell("setxkbmap us");
        runShell("/usr/bin/python3 " + shellQuoted(clients + "layout_settle.py"));
    }

    void setLayout(const std::string& layouts, int group, bool caps) {
        ASSERT_EQ(runShell("setxkbmap " + layouts).status, 0);
        layoutState("group " + std::to_string(group));
        layoutState(caps ? "caps on" : "caps off");
    }

    // Types into the terminal and gives what it received.
    std::string typeIntoTerminal(const std::string& text, const DriverOptions& options = {}) {
        DriverReply run = runDriver(typing(desktop.terminal, text), options);
        EXPECT_EQ(run.exitStatus, 0) << run.line;
        EXPECT_EQ(run.errorOutput, "");
        return readWhenSize(desktop.terminalFile, text.size());
    }

    SharedDesktop& desktop = shared();
    XProbe probe;
};

TEST_F(KeyboardLayout, TextArrivesExactUnderAnotherGroupAndUnderCapsLock) {
    struct Case {
        const char* layouts;
        int group;
        bool caps;
    };
    const Case cases[] = {{"us,de", 1, false}, {"us", 0, true}, {"us,de", 1, true}};
    for (const Case& test : cases) {
        setLayout(test.layouts, test.group, test.caps);
        std::string before = layoutState("show");
        truncateFile(desktop.terminalFile);
        EXPECT_EQ(typeIntoTerminal(mixedText), mixedText)
            << test.layouts << " group " << test.group << " caps " << test.caps;
        // The group and the locks are as they were.
        EXPECT_EQ(layoutState("show"), before) << test.layouts;
    }
}

TEST_F(KeyboardLayout, ALayoutChangedMidTextIsFollowedFromTheNextCharacter) {
    // 300 characters, each of which moves or is bound under de.
    std::string text;
    for (int piece = 0; piece < 25; ++piece) {
        text += "yz ZY @# x\u00E9; ";
    }
    struct Case {
        const char* what;
        const char* layouts;  // before the change
        std::string change;
    };
    const Case cases[] = {
        {"a new keymap", "us", "setxkbmap de"},
        {"the other group locked", "us,de",
         "/usr/bin/python3 " + shellQuoted(clients + "layout_state.py") + " group 1"},
        {"Caps Lock locked", "us",
         "/usr/bin/python3 " + shellQuoted(clients + "layout_state.py") + " caps on"},
    };
    for (const Case& test : cases) {
        setLayout(test.layouts, 0, false);
        truncateFile(desktop.terminalFile);
        DriverOptions options;
        options.meanwhileAfter = 700ms;
        options.meanwhile = [&](int) { runShell(test.change); };
        EXPECT_EQ(typeIntoTerminal(text, options), text) << test.what;
        layoutState("caps off");
    }
}

TEST_F(KeyboardLayout, AKeyThatAnotherClientRemapsMeanwhileKeepsItsLastMapping) {
    // F1 lies between spare keycodes that typing binds (8 and 93 in Xvfb's keymap).
    constexpr int keycode = 67;
    constexpr std::uint32_t lastKeysym = 0xFFD5;  // F24
    std::string text;
    for (int index = 0; index < 20; ++index) {
        text += "ab \u00E9\u65E5\u0142\u672C\u0444\u8A9E\U0001F600 ";
    }
    std::string log = desktop.folder + "/remap.log";
    runShell("/usr/bin/python3 " + shellQuoted(clients + "layout_remap.py") + " " +
             std::to_string(keycode) + " 20 0.03 " + std::to_string(lastKeysym) + " > " +
             shellQuoted(log) + " 2>&1 &");
    EXPECT_EQ(typeIntoTerminal(text), text);
    for (int wait = 0; wait < 50 && readFile(log) != "done\n"; ++wait) {
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_EQ(readFile(log), "done\n");
    std::vector<std::uint32_t> mapping = probe.keyboardMapping();
    ASSERT_FALSE(mapping.empty());
    std::size_t row = 1 + static_cast<std::size_t>(keycode - 8) * mapping[0];
    ASSERT_LT(row, mapping.size());
    EXPECT_EQ(mapping[row], lastKeysym);
}

TEST_F(KeyboardLayout, TheXkbKeymapIsAsItWasAfterTypingWhatNoKeyHas) {
    for (const char* layouts : {"us", "us,de"}) {
        setLayout(layouts, 0, false);
        std::string before = xkbKeymap();
        ASSERT_FALSE(before.empty());
        truncateFile(desktop.terminalFile);
        const std::string text = "\u00E9\u65E5\u0142\u672C\u0444\u8A9E\U0001F600\u0101";
        EXPECT_EQ(typeIntoTerminal(text), text) << layouts;
        EXPECT_EQ(xkbKeymap(), before) << layouts;
    }
}

}  // namespace
}  // namespace quorvel::e2e
