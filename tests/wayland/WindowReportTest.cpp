#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/linux/kwin/WindowReport.h"

namespace quorvel::kwin {
namespace {

Json window(const std::string& id, int pid, int layer = 2) {
    return {{"id", id},
            {"pid", pid},
            {"caption", "title of " + id},
            {"class", "app"},
            {"frame", {{"x", 10}, {"y", 20}, {"width", 300}, {"height", 200}}},
            {"client", {{"x", 10}, {"y", 50}, {"width", 300}, {"height", 170}}},
            {"layer", layer},
            {"desktop", false},
            {"dock", false},
            {"menu", false},
            {"tooltip", false},
            {"notification", false},
            {"onScreenDisplay", false},
            {"dndIcon", false},
            {"popup", false},
            {"keepAbove", false},
            {"keepBelow", false},
            {"normal", true},
            {"dialog", false},
            {"shown", true}};
}

Json report(Json windows, Json active = nullptr) {
    return {{"active", active},
            {"outputs", Json::array({{{"x", 0}, {"y", 0}, {"width", 1280}, {"height", 800}}})},
            {"windows", windows}};
}

TEST(WindowReport, ListsShownWindowsFrontToBackWithTheirLayers) {
    Json desktop = window("{desk}", 5, 0);
    desktop["desktop"] = true;
    Json minimised = window("{min}", 6);
    minimised["shown"] = false;
    Json panel = window("{panel}", 7);
    panel["dock"] = true;
    Json menu = window("{menu}", 8, 6);
    menu["popup"] = true;
    menu["normal"] = false;
    Json text =
        report({desktop, window("{a}", 100), minimised, window("{b}", 200), panel, menu}, "{b}");
    auto parsed = parseWindowReport(text.dump());
    ASSERT_TRUE(parsed);
    Json list = windowList(*parsed);
    std::vector<std::pair<int, int>> pidsAndLayers;
    for (const Json& entry : list) {
        pidsAndLayers.emplace_back(entry["kCGWindowOwnerPID"].get<int>(),
                                   entry["kCGWindowLayer"].get<int>());
    }
    EXPECT_EQ(pidsAndLayers,
              (std::vector<std::pair<int, int>>{{8, 101}, {7, 20}, {200, 0}, {100, 0}}));
    EXPECT_EQ(list[2]["kCGWindowName"], "title of {b}");
    EXPECT_EQ(list[2]["kCGWindowBounds"],
              (Json{{"X", 10}, {"Y", 20}, {"Width", 300}, {"Height", 200}}));
    EXPECT_EQ(list[2]["kCGWindowNumber"], stableWindowId("{b}"));
    ASSERT_TRUE(activeWindow(*parsed));
    EXPECT_EQ(activeWindow(*parsed)->pid, 200);
    ASSERT_EQ(parsed->outputs.size(), 1u);
    EXPECT_EQ(parsed->outputs[0].width, 1280);
}

TEST(WindowReport, AnyMalformedPartGivesNoReport) {
    std::vector<std::pair<std::string, std::function<void(Json&)>>> faults = {
        {"not json", nullptr},
        {"windows missing", [](Json& r) { r.erase("windows"); }},
        {"outputs not a list", [](Json& r) { r["outputs"] = 3; }},
        {"active a number", [](Json& r) { r["active"] = 4; }},
        {"pid a string", [](Json& r) { r["windows"][0]["pid"] = "100"; }},
        {"pid negative", [](Json& r) { r["windows"][0]["pid"] = -1; }},
        {"pid too large", [](Json& r) { r["windows"][0]["pid"] = 4294967296LL; }},
        {"frame without width", [](Json& r) { r["windows"][0]["frame"].erase("width"); }},
        {"client negative height", [](Json& r) { r["windows"][0]["client"]["height"] = -2; }},
        {"flag missing", [](Json& r) { r["windows"][0].erase("shown"); }},
        {"flag a number", [](Json& r) { r["windows"][0]["keepAbove"] = 1; }},
        {"empty id", [](Json& r) { r["windows"][0]["id"] = ""; }},
        {"window not an object", [](Json& r) { r["windows"][0] = "x"; }},
        {"output without height", [](Json& r) { r["outputs"][0].erase("height"); }},
        {"layer fractional", [](Json& r) { r["windows"][0]["layer"] = 2.5; }},
    };
    for (const auto& [name, fault] : faults) {
        Json r = report({window("{a}", 100)}, "{a}");
        std::string text = "{\"windows\": [";
        if (fault) {
            fault(r);
            text = r.dump();
        }
        EXPECT_FALSE(parseWindowReport(text)) << name;
    }
    EXPECT_TRUE(parseWindowReport(report({window("{a}", 100)}, "{a}").dump()));
}

TEST(WindowReport, LayersFollowTheX11Mapping) {
    struct Case {
        const char* flag;
        int kwinLayer;
        std::optional<int> layer;
    };
    const Case cases[] = {
        {nullptr, 2, 0},
        {nullptr, 5, 0},
        {"keepAbove", 2, 3},
        {nullptr, 3, 3},
        {"keepBelow", 2, -1},
        {nullptr, 1, -1},
        {"dock", 2, 20},
        {"menu", 2, 101},
        {"popup", 2, 101},
        {nullptr, 6, 101},
        {"notification", 2, 102},
        {nullptr, 7, 102},
        {"tooltip", 2, 200},
        {"onScreenDisplay", 2, 200},
        {nullptr, 8, 200},
        {"dndIcon", 2, 500},
        {"desktop", 2, std::nullopt},
        {nullptr, 0, std::nullopt},
    };
    for (const Case& c : cases) {
        Json entry = window("{w}", 1, c.kwinLayer);
        if (c.flag) {
            entry[c.flag] = true;
        }
        auto parsed = parseWindowReport(report({entry}).dump());
        ASSERT_TRUE(parsed);
        EXPECT_EQ(listLayer(parsed->stacking[0]), c.layer)
            << (c.flag ? c.flag : "") << " layer " << c.kwinLayer;
    }
}

TEST(WindowReport, ActivationPrefersTheChosenWindowElseTheTopmostNormalOne) {
    Json dialog = window("{dialog}", 100);
    dialog["normal"] = false;
    dialog["dialog"] = true;
    Json popup = window("{popup}", 100, 6);
    popup["normal"] = false;
    popup["popup"] = true;
    Json other = window("{other}", 200);
    auto parsed = parseWindowReport(report({window("{main}", 100), dialog, popup, other}).dump());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(windowToActivate(*parsed, 100, std::nullopt)->internalId, "{dialog}");
    EXPECT_EQ(windowToActivate(*parsed, 100, stableWindowId("{main}"))->internalId, "{main}");
    // Another application's window is never chosen, even when named.
    EXPECT_EQ(windowToActivate(*parsed, 100, stableWindowId("{other}"))->internalId, "{dialog}");
    EXPECT_EQ(windowToActivate(*parsed, 300, std::nullopt), nullptr);
}

TEST(WindowReport, WindowIdsAreStablePositiveAndDistinct) {
    EXPECT_EQ(stableWindowId("{1b4e28ba-2fa1-11d2-883f-0016d3cca427}"),
              stableWindowId(std::string("{1b4e28ba-2fa1-11d2-883f-0016d3cca427}")));
    EXPECT_NE(stableWindowId("{a}"), stableWindowId("{b}"));
    for (const char* id : {"", "{a}", "{1b4e28ba-2fa1-11d2-883f-0016d3cca427}"}) {
        EXPECT_GT(stableWindowId(id), 0u);
        EXPECT_LE(stableWindowId(id), 0x7fffffffu);
    }
}

}  // namespace
}  // namespace quorvel::kwin
