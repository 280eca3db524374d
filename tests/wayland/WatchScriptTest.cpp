// The watch script that the driver loads into KWin, run by Node.js against a stand-in for
// KWin's scripting objects: what it reports must be what the driver parses, and every change
// KWin signals must bring a new report.

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/linux/kwin/ScriptText.h"
#include "platform/linux/kwin/WindowReport.h"

namespace quorvel::kwin {
namespace {

// KWin's objects as the script sees them: UUIDs that are objects with a string form, geometry
// with x, y, width and height, signals with `connect`, and `callDBus`.
constexpr const char* fakeKWin = R"JS(
function Signal() { this.slots = []; }
Signal.prototype.connect = function (f) { this.slots.push(f); };
Signal.prototype.emit = function (a) { this.slots.forEach(function (f) { f(a); }); };
function uuid(text) { return {toString: function () { return text; }}; }
function makeWindow(id, pid, extra) {
    var w = {internalId: uuid(id), pid: pid, caption: "caption " + id, resourceClass: "app",
             frameGeometry: {x: 10, y: 20, width: 300, height: 200},
             clientGeometry: {x: 12, y: 50, width: 296, height: 168},
             layer: 2, normalWindow: true, minimized: false, hidden: false, deleted: false,
             onAllDesktops: true, desktops: [],
             frameGeometryChanged: new Signal(), minimizedChanged: new Signal()};
    for (var k in extra) w[k] = extra[k];
    return w;
}
var desk = makeWindow("{desk}", 1, {desktopWindow: true, normalWindow: false, layer: 0});
var a = makeWindow("{a}", 100, {});
var b = makeWindow("{b}", 200, {keepAbove: true});
var gone = makeWindow("{gone}", 300, {deleted: true});
var workspace = {stackingOrder: [desk, a, gone, b], activeWindow: b, currentDesktop: {},
    screens: [{geometry: {x: 0, y: 0, width: 1280, height: 800}}],
    windowAdded: new Signal(), windowRemoved: new Signal(), windowActivated: new Signal(),
    currentDesktopChanged: new Signal(), screensChanged: new Signal()};
function callDBus(service, path, iface, method, text) {
    console.log(JSON.stringify([service, path, iface, method]));
    console.log(text);
}
)JS";

constexpr const char* changes = R"JS(
workspace.activeWindow = a;
workspace.stackingOrder = [desk, gone, b, a];
workspace.windowActivated.emit(a);
a.minimized = true;
a.minimizedChanged.emit();
)JS";

std::vector<std::string> runNode(const std::string& program) {
    char path[] = "/tmp/quorvel-watch-test-XXXXXX.js";
    int fd = mkstemps(path, 3);
    EXPECT_GE(fd, 0);
    close(fd);
    std::ofstream(path) << program;
    std::vector<std::string> lines;
    std::string command = std::string("node ") + path + " 2>&1";
    if (FILE* pipe = popen(command.c_str(), "r")) {
        std::array<char, 65536> buffer;
        while (fgets(buffer.data(), buffer.size(), pipe)) {
            std::string line = buffer.data();
            if (!line.empty() && line.back() == '\n') {
                line.pop_back();
            }
            lines.push_back(line);
        }
        pclose(pipe);
    }
    unlink(path);
    return lines;
}

TEST(WatchScript, ReportsWhatTheDriverParsesAndEachChange) {
    if (system("command -v node >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "Node.js is not installed";
    }
    std::string script = watchScript(":1.42");
    std::vector<std::string> lines = runNode(std::string(fakeKWin) + script + changes);
    // Three reports: at start, on the activation, on the minimising.
    ASSERT_EQ(lines.size(), 6u) << (lines.empty() ? "" : lines[0]);
    EXPECT_EQ(lines[0],
              R"([":1.42","/org/quorvel/computer/KWin","org.quorvel.computer.KWin","report"])");

    auto first = parseWindowReport(lines[1]);
    ASSERT_TRUE(first) << lines[1];
    ASSERT_EQ(first->stacking.size(), 3u);  // the closing window is left out
    EXPECT_EQ(first->activeId, "{b}");
    Json list = windowList(*first);
    ASSERT_EQ(list.size(), 2u);  // the desktop is left out
    EXPECT_EQ(list[0]["kCGWindowOwnerPID"], 200);
    EXPECT_EQ(list[0]["kCGWindowLayer"], 3);
    EXPECT_EQ(list[1]["kCGWindowOwnerPID"], 100);
    EXPECT_EQ(first->stacking[1].client.y, 50);
    ASSERT_EQ(first->outputs.size(), 1u);

    auto activated = parseWindowReport(lines[3]);
    ASSERT_TRUE(activated);
    EXPECT_EQ(activeWindow(*activated)->pid, 100);
    EXPECT_EQ(windowList(*activated)[0]["kCGWindowOwnerPID"], 100);

    auto minimised = parseWindowReport(lines[5]);
    ASSERT_TRUE(minimised);
    EXPECT_EQ(activeWindow(*minimised), nullptr);
    EXPECT_EQ(windowList(*minimised).size(), 1u);
}

TEST(WatchScript, ActivationNamesItsWindowAndCallsBack) {
    if (system("command -v node >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "Node.js is not installed";
    }
    std::string script = activationScript(":1.42", "{a}", "token-1");
    std::vector<std::string> lines =
        runNode(std::string(fakeKWin) + "a.minimized = true;\n" + script +
                "console.log(String(workspace.activeWindow.internalId), a.minimized);\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "token-1");
    EXPECT_EQ(lines[2], "{a} false");
}

TEST(WatchScript, EmbedsTextsAsStringLiterals) {
    EXPECT_EQ(javascriptString("a\"b\\c\n"), R"("a\"b\\c\n")");
    EXPECT_NE(activationScript(":1.5", "{x}\";evil();\"", "t").find(R"("{x}\";evil();\"")"),
              std::string::npos);
}

}  // namespace
}  // namespace quorvel::kwin
