#include <cmath>
#include <limits>
#include <string>

#include "ObservationTest.h"
#include "observe/ElementSummary.h"

namespace quorvel {
namespace {

class ElementSummaryTest : public ObservationTest {
  protected:
    Json summaryOf(ElementId id) {
        ElementHandle element = handle(id);
        return elementSummary(runtime, *element);
    }
};

std::string repeated(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += piece;
    }
    return text;
}

TEST_F(ElementSummaryTest, KeepsPlainValuesAndLeavesOutEverythingElse) {
    const double infinity = std::numeric_limits<double>::infinity();
    ElementId other = desktop.addElement();
    struct Case {
        const char* name;
        Attributes attributes;
        const char* expected;
    };
    const Case cases[] = {
        {"nothing readable", {}, "{}"},
        {"all seven",
         {{"AXRole", "AXTextField"},
          {"AXTitle", ""},
          {"AXDescription", "Name"},
          {"AXValue", 3},
          {"AXFocused", false},
          {"AXPosition", pointValue(-40, 12.5)},
          {"AXSize", sizeValue(0, 0)},
          {"AXHelp", "not summarised"}},
         R"({"AXRole":"AXTextField","AXTitle":"","AXDescription":"Name","AXValue":3,
             "AXFocused":false,"AXPosition":{"x":-40.0,"y":12.5},
             "AXSize":{"width":0.0,"height":0.0}})"},
        {"the five are converted alike",
         {{"AXRole", true}, {"AXTitle", 7}, {"AXDescription", 0.25}, {"AXFocused", "yes"}},
         R"({"AXRole":true,"AXTitle":7,"AXDescription":0.25,"AXFocused":"yes"})"},
        {"an element value is left out",
         {{"AXValue", ElementRef{other}}, {"AXTitle", "Doc"}},
         R"({"AXTitle":"Doc"})"},
        {"an array value is left out",
         {{"AXValue", elementArray({other})}, {"AXRole", "AXList"}},
         R"({"AXRole":"AXList"})"},
        {"a geometry or other value is left out",
         {{"AXValue", pointValue(1, 2)}, {"AXDescription", OtherValue{}}, {"AXFocused", true}},
         R"({"AXFocused":true})"},
        {"an infinite position is left out, the size kept",
         {{"AXPosition", pointValue(infinity, 3)}, {"AXSize", sizeValue(10, 20)}},
         R"({"AXSize":{"width":10.0,"height":20.0}})"},
        {"geometry of the wrong kind or sign is left out",
         {{"AXPosition", sizeValue(1, 2)}, {"AXSize", sizeValue(-1, 2)}},
         "{}"},
        {"a size read as a point and a point as a size",
         {{"AXPosition", sizeValue(1, 2)}, {"AXSize", pointValue(1, 2)}},
         "{}"},
        {"text where geometry belongs", {{"AXPosition", "(1,2)"}, {"AXSize", 4}}, "{}"},
        {"a negative zero height passes",
         {{"AXSize", sizeValue(5, -0.0)}},
         R"({"AXSize":{"width":5.0,"height":-0.0}})"},
        // JSON cannot carry them: written, they would come out as null.
        {"a non-finite number is left out",
         {{"AXValue", std::nan("")}, {"AXDescription", -infinity}, {"AXTitle", "t"}},
         R"({"AXTitle":"t"})"},
    };
    for (const Case& c : cases) {
        ElementId id = desktop.addElement(c.attributes);
        // Compared as written, so that 3 and 3.0 differ.
        EXPECT_EQ(summaryOf(id).dump(), Json::parse(c.expected).dump()) << c.name;
    }
}

TEST_F(ElementSummaryTest, ReadsTheSevenAttributesInOrderEachWithTheTimeout) {
    ElementId id = desktop.addElement({{"AXRole", "AXButton"}});
    summaryOf(id);
    std::vector<std::string> expected;
    for (const char* name :
         {"AXRole", "AXTitle", "AXDescription", "AXValue", "AXFocused", "AXPosition", "AXSize"}) {
        expected.push_back("timeout " + std::to_string(id) + " 0.1");
        expected.push_back("read " + std::to_string(id) + " " + name);
    }
    EXPECT_EQ(desktop.accessibilityCalls, expected);
}

TEST_F(ElementSummaryTest, CutsTextAtOneThousandUserPerceivedCharacters) {
    const std::string a999 = repeated("a", 999);
    const std::string eAcute = "e\xCC\x81";                         // e + combining acute
    const std::string france = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";  // two regional indicators
    const std::string germany = "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA";
    const std::string family =
        "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"exactly 1000", repeated("a", 1000), repeated("a", 1000)},
        {"1001", repeated("a", 1001), repeated("a", 1000)},
        {"a combining accent at 1000", a999 + eAcute + "z", a999 + eAcute},
        {"a flag at 1000", a999 + france + germany, a999 + france},
        {"a joined emoji sequence at 1000", a999 + family + "z", a999 + family},
        {"1000 accented letters of two code points", repeated(eAcute, 1000),
         repeated(eAcute, 1000)},
        {"1001 accented letters", repeated(eAcute, 1001), repeated(eAcute, 1000)},
        {"CR LF counts once", repeated("\r\n", 1001), repeated("\r\n", 1000)},
        {"empty", "", ""},
        {"bytes that are not UTF-8", "ok\xFF", "ok\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        ElementId id = desktop.addElement({{"AXValue", c.text}});
        Json summary = summaryOf(id);
        EXPECT_EQ(summary, Json({{"AXValue", c.expected}})) << c.name;
        EXPECT_NO_THROW(summary.dump()) << c.name;
    }
}

TEST_F(ElementSummaryTest, NothingIsReadOnceCancelled) {
    ElementId id = desktop.addElement({{"AXRole", "AXButton"}, {"AXFocused", true}});
    flag = 1;
    EXPECT_EQ(summaryOf(id), Json::object());
    EXPECT_TRUE(desktop.accessibilityCalls.empty());
}

TEST_F(ElementSummaryTest, AnUnresponsiveElementCostsSevenTimeouts) {
    ElementId id = desktop.addElement({{"AXRole", "AXButton"}});
    desktop.unresponsive.insert(id);
    EXPECT_EQ(summaryOf(id), Json::object());
    EXPECT_NEAR(secondsOf(desktop.now()), 0.7, 1e-6);
}

}  // namespace
}  // namespace quorvel
