// The command line: what it asks for, and every way it can be wrong.

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "capture/Arguments.h"
#include "capture/CaptureFailure.h"

namespace quorvel::capture {
namespace {

CaptureOptions parse(std::initializer_list<std::string_view> arguments) {
    std::vector<std::string_view> list(arguments);
    return parseArguments(list);
}

TEST(Arguments, ReadsTheRegionTheWidthAndInfo) {
    struct Case {
        std::initializer_list<std::string_view> arguments;
        CaptureOptions expected;
    };
    const Case cases[] = {
        {{}, {}},
        {{"--info"}, {.info = true}},
        {{"--max-width", "640"}, {.maxWidth = 640}},
        {{"--region", "10", "20", "100", "50"}, {.region = Rect{10, 20, 100, 50}}},
        {{"--region", "-5", "-7", "1", "2", "--info"},
         {.region = Rect{-5, -7, 1, 2}, .info = true}},
        {{"--region", "0", "0", "0", "0", "--max-width", "1"}, {.maxWidth = 1}},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(parse(test.arguments), test.expected)
            << ::testing::PrintToString(std::vector<std::string_view>(test.arguments));
    }
}

TEST(Arguments, RefusesWhatItCannotReadSayingWhy) {
    struct Case {
        std::initializer_list<std::string_view> arguments;
        const char* why;
    };
    const Case cases[] = {
        {{"--verbose"}, "unknown option '--verbose'"},
        {{"640"}, "unknown option '640'"},
        {{"--max-width"}, "--max-width needs N"},
        {{"--max-width", "0"}, "--max-width must be at least 1, not 0"},
        {{"--max-width", "-3"}, "--max-width must be at least 1"},
        {{"--max-width", "12px"}, "--max-width must be a whole number, not '12px'"},
        {{"--max-width", "+5"}, "must be a whole number"},
        {{"--max-width", "99999999999"}, "must be a whole number"},
        {{"--region", "1", "2", "3"}, "--region needs HEIGHT"},
        {{"--region", "a", "2", "3", "4"}, "the region's X must be a whole number, not 'a'"},
        {{"--region", "1", "2", "-3", "4"}, "the region's WIDTH must be at least 0"},
        {{"--region", "1", "2", "3", "-4"}, "the region's HEIGHT must be at least 0"},
        {{"--region", "1", "2", "0", "4"}, "WIDTH and HEIGHT must be positive"},
        {{"--info", "--info"}, "--info is given twice"},
        {{"--max-width", "5", "--max-width", "6"}, "--max-width is given twice"},
    };
    for (const Case& test : cases) {
        std::string arguments =
            ::testing::PrintToString(std::vector<std::string_view>(test.arguments));
        try {
            parse(test.arguments);
            ADD_FAILURE() << arguments << " was accepted";
        } catch (const CaptureFailure& failure) {
            std::string message = failure.what();
            EXPECT_EQ(message.rfind("Invalid arguments: ", 0), 0u) << message;
            EXPECT_NE(message.find(test.why), std::string::npos) << arguments << ": " << message;
        }
    }
}

}  // namespace
}  // namespace quorvel::capture
