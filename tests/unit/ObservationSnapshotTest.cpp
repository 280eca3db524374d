#include <string>

#include "ObservationTest.h"
#include "main/Computer.h"
#include "observe/Snapshot.h"

namespace quorvel {
namespace {

using ObservationSnapshotTest = ObservationTest;

const std::string inspectTarget = R"({"actions":[{"type":"inspect"}],"pid":42})";

TEST_F(ObservationSnapshotTest, WithoutAPidTheReplyHasTheSixFixedKeys) {
    ElementId application = node("app", {node("w")});
    desktop.setApplicationElement(target, application);
    Json reply = runText(R"({"actions":[]})");
    std::vector<std::string> keys;
    for (const auto& [key, value] : reply.items()) {
        keys.push_back(key);
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"accessibility", "coordinate_space", "foreground_pid",
                                              "ok", "screen_capture", "windows"}));
    EXPECT_TRUE(desktop.accessibilityCalls.empty());
}

TEST_F(ObservationSnapshotTest, ATargetGetsItsTreeAndFocusedElement) {
    ElementId field = node("Name", {}, {{"AXRole", "AXTextField"}, {"AXFocused", true}});
    ElementId document = node("Doc", {field}, {{"AXRole", "AXWindow"}});
    ElementId palette = node("Tools", {}, {{"AXRole", "AXWindow"}});
    ElementId application = node("Editor", {palette, document},
                                 {{"AXRole", "AXApplication"},
                                  {"AXFocusedWindow", ElementRef{document}},
                                  {"AXFocusedUIElement", ElementRef{field}}});
    desktop.setApplicationElement(target, application);
    Json reply = runText(inspectTarget);
    EXPECT_EQ(reply["accessibility_tree"], Json::parse(R"({
        "AXRole":"AXApplication","AXTitle":"Editor","children":[
            {"AXRole":"AXWindow","AXTitle":"Doc","children":[
                {"AXRole":"AXTextField","AXTitle":"Name","AXFocused":true}]},
            {"AXRole":"AXWindow","AXTitle":"Tools"}]})"));
    EXPECT_EQ(reply["focused_element"],
              Json::parse(R"({"AXRole":"AXTextField","AXTitle":"Name","AXFocused":true})"));
    EXPECT_EQ(reply["focused_element_source"], "AXFocusedUIElement");
    EXPECT_EQ(reply["ok"], true);
}

TEST_F(ObservationSnapshotTest, AnUnreadableTargetHasAnEmptyTreeAndNoFocusedElement) {
    // No accessibility tree stands behind pid 42, as for a process that has quit.
    Json reply = runText(inspectTarget);
    EXPECT_EQ(reply["accessibility_tree"], Json::object());
    EXPECT_FALSE(reply.contains("focused_element"));
    EXPECT_FALSE(reply.contains("focused_element_source"));
}

TEST_F(ObservationSnapshotTest, OneObservationSummarisesAtMost180Elements) {
    // Ten windows of thirty rows: 311 elements, of which the root and 179 more are summarised.
    std::vector<ElementId> windows;
    for (int w = 1; w <= 10; ++w) {
        windows.push_back(node(titled("w", w), leaves(30, "r")));
    }
    desktop.setApplicationElement(target, node("app", windows));
    Json reply = runText(inspectTarget);
    const Json& tree = reply["accessibility_tree"];
    ASSERT_EQ(tree["children"].size(), 6u);  // w1 to w5 whole (31 each), then w6 and 23 rows
    EXPECT_EQ(tree["truncated"], true);
    EXPECT_EQ(tree["children"][5],
              Json({{"AXTitle", "w6"}, {"children", leafRecords(23, "r")}, {"truncated", true}}));
    EXPECT_EQ(readsOf("AXTitle"), 180);
}

TEST_F(ObservationSnapshotTest, NumbersAreWrittenAsTheKindTheyWereRead) {
    desktop.setApplicationElement(
        target,
        node("app", {node("i", {}, {{"AXValue", 1}}), node("f", {}, {{"AXValue", 0.5}}),
                     node("w", {}, {{"AXValue", 1.0}}), node("b", {}, {{"AXValue", false}})}));
    ReplyLine line = ComputerMain::respond(runtime, inspectTarget);
    EXPECT_EQ(line.exitStatus, 0);
    const std::string written[] = {
        R"({"AXTitle":"i","AXValue":1})",
        R"({"AXTitle":"f","AXValue":0.5})",
        R"({"AXTitle":"w","AXValue":1.0})",
        R"({"AXTitle":"b","AXValue":false})",
    };
    for (const std::string& record : written) {
        EXPECT_NE(line.text.find(record), std::string::npos) << record << " in " << line.text;
    }
}

// An application whose only window does not answer: each of its reads waits out 0.1 s.
class CutShortTest : public ObservationSnapshotTest {
  protected:
    void SetUp() override {
        ElementId slow = node("slow");
        desktop.setApplicationElement(target, node("app", {slow}));
        desktop.unresponsive.insert(slow);
    }
    Json respond() {
        ReplyLine line = ComputerMain::respond(runtime, inspectTarget);
        EXPECT_EQ(line.exitStatus, 1);
        return Json::parse(line.text);
    }
};

TEST_F(CutShortTest, ByTheFlagTheReplyIsTheError) {
    desktop.raiseCancellationAt(250ms, flag);  // the pause ends at 0.2 s, the first read at 0.3 s
    EXPECT_EQ(respond(), Json::parse(R"({"ok":false,
        "error":"Computer request cancelled; observe before retrying."})"));
}

TEST_F(CutShortTest, ByTheDeadlineTheReplyIsTheError) {
    runtime.deadline.at(desktop);  // the deadline is 240 s from t=0
    desktop.sleep(requestTimeLimit - 500ms);
    EXPECT_EQ(respond(), Json::parse(R"({"ok":false,
        "error":"Computer request deadline exceeded; observe before retrying."})"));
    EXPECT_NEAR(secondsOf(desktop.now()), 240.0, 1e-6);  // the reads stopped at the deadline
}

}  // namespace
}  // namespace quorvel
