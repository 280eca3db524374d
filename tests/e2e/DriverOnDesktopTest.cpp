// The real executable driving applications that no one here wrote, on the virtual desktop:
// every reply is checked, and so is what the applications received and what was left behind.

#include <gtest/gtest.h>

#include <thread>

#include "DesktopEnvironment.h"
#include "DriverRun.h"
#include "ExpectReply.h"
#include "Requests.h"
#include "platform/linux/x11/X11Platform.h"

namespace quorvel::e2e {
namespace {

using namespace std::chrono_literals;

// Where things are in gtk3-widget-factory's first page, with the window at the top left.
constexpr double entryX = 170, entryY = 253;  // the editable entry with a clear icon
constexpr double sliderY = 151;               // the first horizontal slider
constexpr double sliderLeft = 570, sliderRight = 852;
constexpr int textViewX = 1090, textViewY = 335;  // the scrolled text view
constexpr int textViewWidth = 180, textViewHeight = 225;

// The rightmost column of the slider's blue fill: where the knob is.
int sliderKnob(XProbe& probe) {
    XProbe::Image row = probe.grab(static_cast<int>(sliderLeft) - 10, static_cast<int>(sliderY),
                                   static_cast<int>(sliderRight - sliderLeft) + 20, 1);
    int knob = -1;
    for (int x = 0; x < row.width; ++x) {
        std::uint32_t pixel = row.pixels[static_cast<std::size_t>(x)];
        int red = (pixel >> 16) & 0xFF, blue = pixel & 0xFF;
        if (blue > red + 60) {
            knob = x + static_cast<int>(sliderLeft) - 10;
        }
    }
    return knob;
}

// The view once it has stopped moving for 300 ms: GTK animates each wheel step.
XProbe::Image settledView(XProbe& probe) {
    XProbe::Image last = probe.grab(textViewX, textViewY, textViewWidth, textViewHeight);
    int unchanged = 0;
    for (int attempt = 0; attempt < 30 && unchanged < 3; ++attempt) {
        std::this_thread::sleep_for(100ms);
        XProbe::Image next = probe.grab(textViewX, textViewY, textViewWidth, textViewHeight);
        unchanged = next.pixels == last.pixels ? unchanged + 1 : 0;
        last = std::move(next);
    }
    return last;
}

class DriverOnDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        mapping = coreKeymap(probe.keyboardMapping());
        truncateFile(desktop.terminalFile);
    }
    // After every request, whatever it did: nothing held and the keyboard as it was.
    void TearDown() override {
        EXPECT_TRUE(probe.keysDown().empty());
        EXPECT_TRUE(probe.buttonsDown().empty());
        EXPECT_EQ(coreKeymap(probe.keyboardMapping()), mapping);
    }

    // Selects everything in the entry and gives what the selection holds. The pause after the
    // click lets a busy window manager, which holds clicks while it takes in a keyboard mapping
    // change of the previous request, pass the click on before the keys arrive.
    std::string entryText() {
        expectOk(
            batch(desktop.widgetFactory, {click(entryX, entryY), pause(), keys({"ctrl", "a"})}));
        return primarySelection();
    }
    void replaceEntryText(const std::string& text) {
        expectOk(batch(desktop.widgetFactory, {click(entryX, entryY), pause(), keys({"ctrl", "a"}),
                                               keys({"backspace"}), type(text)}));
    }

    SharedDesktop& desktop = shared();
    XProbe probe;
    std::vector<std::uint32_t> mapping;
};

TEST_F(DriverOnDesktop, TypedTextArrivesByteExactInTheTerminal) {
    const std::string text =
        "caf\u00E9 e\u0301 \u65E5\u672C\u8A9E \uD55C\uAD6D\uC5B4 \U0001F600 "
        "\U0001F468\u200D\U0001F469\u200D\U0001F467 \U0001F3F3\uFE0F\u200D\U0001F308 "
        "\U0001F1EB\U0001F1F7 ~!@#$%^&*()_+{}|:\"<>? line\r\nnext\ttab\n";
    DriverReply run = expectOk(batch(desktop.terminal, {type(text)}));
    EXPECT_EQ(readWhenSize(desktop.terminalFile, text.size()), text);
    EXPECT_EQ(run.reply["foreground_pid"], desktop.terminal);
}

TEST_F(DriverOnDesktop, TypedTextArrivesExactInAGtkEntryAndAChordEmptiesIt) {
    const std::string text =
        "Gr\u00FC\u00DFe e\u0301 \u65E5\u672C \uD55C\uAD6D \U0001F600 "
        "\U0001F468\u200D\U0001F469\u200D\U0001F467 \U0001F3F3\uFE0F\u200D\U0001F308 "
        "\U0001F1EB\U0001F1F7";
    replaceEntryText(text);
    EXPECT_EQ(entryText(), text);
    // Select all, then delete: the field is empty, so what is typed next is all it holds.
    expectOk(batch(desktop.widgetFactory, {click(entryX, entryY), pause(), keys({"CTRL", "a"}),
                                           keys({"delete"}), type("x")}));
    EXPECT_EQ(entryText(), "x");
}

TEST_F(DriverOnDesktop, DoubleClickSelectsAWord) {
    replaceEntryText("alpha beta gamma");
    // The entry's text starts at x = 24 in a font about 8 pixels wide: "beta" is at 70-100.
    expectOk(batch(desktop.widgetFactory, {{{"type", "double_click"}, {"x", 85}, {"y", entryY}}}));
    EXPECT_EQ(primarySelection(), "beta");
}

TEST_F(DriverOnDesktop, RightClickOpensAMenuWindowAboveTheApplicationLayer) {
    expectOk(batch(desktop.widgetFactory,
                   {{{"type", "click"}, {"x", entryX}, {"y", entryY}, {"button", "right"}}}));
    X11Platform platform;
    bool menu = false;
    for (const Json& window : platform.windowServerList()) {
        if (window.value("kCGWindowOwnerPID", 0) == desktop.widgetFactory &&
            window.value("kCGWindowLayer", 0) > 0) {
            menu = true;
            EXPECT_EQ(window["kCGWindowLayer"], 101);
        }
    }
    EXPECT_TRUE(menu);
    expectOk(batch(desktop.widgetFactory, {keys({"escape"})}));
}

TEST_F(DriverOnDesktop, DragMovesASlider) {
    auto drag = [](double from, double to) {
        return Json{{"type", "drag"},
                    {"path", {{{"x", from}, {"y", sliderY}}, {{"x", to}, {"y", sliderY}}}}};
    };
    expectOk(batch(desktop.widgetFactory, {drag(600, 800)}));
    EXPECT_NEAR(sliderKnob(probe), 800, 15);
    expectOk(batch(desktop.widgetFactory, {drag(800, 650)}));
    EXPECT_NEAR(sliderKnob(probe), 650, 15);
}

TEST_F(DriverOnDesktop, ScrollMovesAViewTheAskedWayByAboutTheAskedAmount) {
    auto scroll = [](int amount) {
        return Json{{"type", "scroll"},
                    {"x", textViewX + textViewWidth / 2},
                    {"y", textViewY + textViewHeight / 2},
                    {"scroll_y", amount}};
    };
    // Away from both ends first, where a view cannot move the whole way.
    expectOk(batch(desktop.widgetFactory, {scroll(-2000), scroll(150)}));
    // On a loaded machine a grab now and then catches the view before GTK has drawn the last
    // scroll, and the shift read from the pictures is off; a measurement is made up to three
    // times, and the view must move the asked way by about the asked amount, and back, in one.
    std::string measured;
    for (int attempt = 0; attempt < 3; ++attempt) {
        XProbe::Image start = settledView(probe);
        expectOk(batch(desktop.widgetFactory, {scroll(100)}));
        XProbe::Image down = settledView(probe);
        int moved = verticalShift(start, down);  // positive: content moved up, the view down
        expectOk(batch(desktop.widgetFactory, {scroll(-100)}));
        XProbe::Image back = settledView(probe);
        int returned = verticalShift(down, back);
        if (moved >= 50 && moved <= 150 && returned == -moved) {
            return;
        }
        measured += " (" + std::to_string(moved) + ", " + std::to_string(returned) + ")";
    }
    ADD_FAILURE() << "down and back shifts:" << measured;
}

TEST_F(DriverOnDesktop, APointCoveredByAnotherApplicationIsRefusedWithThatWindowNamed) {
    xcb_window_t terminal = probe.windowOf(desktop.terminal);
    probe.setAbove(terminal, true);
    X11Platform platform;
    Json bounds;
    for (const Json& window : platform.windowServerList()) {
        if (window.value("kCGWindowOwnerPID", 0) == desktop.terminal) {
            bounds = window["kCGWindowBounds"];
        }
    }
    ASSERT_TRUE(bounds.is_object());
    double x = bounds["X"].get<double>() + 40, y = bounds["Y"].get<double>() + 40;
    DriverReply run = runDriver(batch(desktop.widgetFactory, {click(x, y)}));
    probe.setAbove(terminal, false);
    EXPECT_EQ(run.exitStatus, 1);
    std::string error = run.reply.value("error", "");
    EXPECT_EQ(error.rfind("Coordinates are not on the target process's topmost visible window. "
                          "Blocking window: ",
                          0),
              0u)
        << error;
    // The terminal, kept above every normal window, is named by its pid and layer.
    EXPECT_NE(error.find("\"pid\":" + std::to_string(desktop.terminal)), std::string::npos)
        << error;
    EXPECT_NE(error.find("\"layer\":3"), std::string::npos) << error;
    EXPECT_EQ(readFile(desktop.terminalFile), "");
}

TEST_F(DriverOnDesktop, AWindowThatTakesTheFocusMidTextReceivesNothing) {
    replaceEntryText("");
    std::string text;
    for (int index = 0; index < 40; ++index) {
        text += "abc d\u00E9f \U0001F600 ";  // 40 x 10 characters: 2 s of typing or more
    }
    DriverOptions options;
    // Typing has begun by then, on a build under the sanitizers too, and has a second more to go.
    options.meanwhileAfter = 1500ms;
    xcb_window_t terminal = probe.windowOf(desktop.terminal);
    options.meanwhile = [&](int) { probe.activate(terminal); };
    expectError(batch(desktop.widgetFactory, {click(entryX, entryY), type(text)}), lostFocus,
                options);
    probe.sync();
    EXPECT_EQ(readWhenSize(desktop.terminalFile, 1), "");
    std::string typed = entryText();
    EXPECT_FALSE(typed.empty());
    EXPECT_LT(typed.size(), text.size());
    EXPECT_EQ(text.rfind(typed, 0), 0u) << "what arrived is a prefix of the text";
}

TEST_F(DriverOnDesktop, CancellationMidChordsAndTextLeavesNothingPressed) {
    std::string text(400, 'q');
    DriverOptions options;
    options.meanwhileAfter = 500ms;
    options.meanwhile = [](int pid) { kill(pid, SIGTERM); };
    expectError(batch(desktop.terminal,
                      {keys({"ctrl", "shift", "alt", "cmd"}), type("\u00E9"), type(text)}),
                "Computer request cancelled; observe before retrying.", options);
}

TEST_F(DriverOnDesktop, AFailedDragStillReleasesTheButton) {
    // Focus moves to the terminal during the drag: the release still comes at the last point.
    DriverOptions options;
    options.meanwhileAfter = 450ms;
    xcb_window_t terminal = probe.windowOf(desktop.terminal);
    options.meanwhile = [&](int) { probe.activate(terminal); };
    Json path = Json::array();
    for (int step = 0; step < 8; ++step) {
        path.push_back({{"x", 600 + 20 * step}, {"y", sliderY}});
    }
    expectError(batch(desktop.widgetFactory, {{{"type", "drag"}, {"path", path}}}), lostFocus,
                options);
}

}  // namespace
}  // namespace quorvel::e2e
