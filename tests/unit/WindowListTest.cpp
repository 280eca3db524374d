#include "DesktopTest.h"
#include "target/WindowList.h"

namespace quorvel {
namespace {

class WindowList : public DesktopTest {};

TEST_F(WindowList, UnusableAnswersGiveAnEmptyList) {
    const char* answers[] = {
        "null", "{}", "\"windows\"", "[1]", "[{\"kCGWindowLayer\":0}, []]", "[{}, null]",
    };
    for (const char* answer : answers) {
        desktop.windows = Json::parse(answer);
        EXPECT_EQ(windows(desktop, AllLayers::Yes), Json::array()) << answer;
        EXPECT_EQ(windows(desktop, AllLayers::No), Json::array()) << answer;
    }
}

TEST_F(WindowList, LayerSelectionKeepsFrontToBackOrder) {
    desktop.windows = Json::parse(R"([
        {"kCGWindowNumber": 1, "kCGWindowLayer": 101, "kCGWindowOwnerPID": 5},
        {"kCGWindowNumber": 2, "kCGWindowLayer": 0, "kCGWindowOwnerPID": 6},
        {"kCGWindowNumber": 3, "kCGWindowOwnerPID": 7},
        {"kCGWindowNumber": 4, "kCGWindowLayer": 0.0},
        {"kCGWindowNumber": 5, "kCGWindowLayer": "0"},
        {},
        {"kCGWindowNumber": 6, "kCGWindowLayer": 0}
    ])");
    auto ids = [](const Json& records) {
        std::vector<int> result;
        for (const Json& record : records) {
            result.push_back(record["window_id"].get<int>());
        }
        return result;
    };
    EXPECT_EQ(ids(windows(desktop, AllLayers::No)), (std::vector<int>{2, 6}));
    EXPECT_EQ(ids(windows(desktop, AllLayers::Yes)), (std::vector<int>{1, 2, 3, 4, 5, 0, 6}));
}

TEST_F(WindowList, RecordsCopyValuesUnchangedAndDefaultMissingOnes) {
    desktop.windows = Json::parse(R"([
        {"kCGWindowNumber": 9, "kCGWindowOwnerPID": 42, "kCGWindowLayer": 0,
         "kCGWindowOwnerName": "Editor", "kCGWindowName": "Doc",
         "kCGWindowBounds": {"X": 1.5, "Y": 2, "Width": 30, "Height": 40}, "kCGWindowAlpha": 1},
        {"kCGWindowLayer": 0},
        {"kCGWindowLayer": 0, "kCGWindowOwnerPID": "42", "kCGWindowBounds": [1, 2]}
    ])");
    Json expected = Json::parse(R"([
        {"window_id": 9, "pid": 42, "layer": 0, "app": "Editor", "title": "Doc",
         "bounds": {"X": 1.5, "Y": 2, "Width": 30, "Height": 40}},
        {"window_id": 0, "pid": 0, "layer": 0, "app": "", "title": "", "bounds": {}},
        {"window_id": 0, "pid": "42", "layer": 0, "app": "", "title": "", "bounds": [1, 2]}
    ])");
    EXPECT_EQ(windows(desktop), expected);
    // An entry with no keys is dropped from layer 0 and kept as six defaults with all layers.
    desktop.windows = Json::parse("[{}]");
    EXPECT_EQ(windows(desktop, AllLayers::Yes)[0],
              Json::parse(R"({"window_id":0,"pid":0,"layer":0,"app":"","title":"","bounds":{}})"));
}

TEST_F(WindowList, EveryCallAsksTheWindowServerAgain) {
    desktop.windows = Json::array({windowEntry(1, 0, 0, 0, 10, 10)});
    EXPECT_EQ(windows(desktop).size(), 1u);
    desktop.windows = Json::array();
    EXPECT_EQ(windows(desktop).size(), 0u);
    EXPECT_EQ(desktop.windowListQueries, 2);
}

}  // namespace
}  // namespace quorvel
