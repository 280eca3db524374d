#include "platform/linux/TextDecoding.h"

#include <gtest/gtest.h>

namespace quorvel::x11 {
namespace {

TEST(TextDecoding, IllFormedUtf8IsRepairedWithOneReplacementPerMaximalSubpart) {
    struct Case {
        std::string bytes;
        std::string repaired;
    };
    const Case cases[] = {
        {"plain", "plain"},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
        {"a\xFF"
         "b",
         "a\xEF\xBF\xBD"
         "b"},
        {"\xC3", "\xEF\xBF\xBD"},                  // cut short at the end
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // overlong: C0 is never a lead byte
        {"\xE0\x80\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // overlong three-byte form
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a surrogate
        {"\xF4\x90\x80\x80",
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // beyond U+10FFFF
        {"\xE6\x97"
         "x",
         "\xEF\xBF\xBD"
         "x"},  // a lead with too few continuations
        {std::string("nul\0in", 6), std::string("nul\0in", 6)},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(repairUtf8(test.bytes), test.repaired);
    }
}

TEST(TextDecoding, Latin1AndCompoundTextBecomeUtf8) {
    EXPECT_EQ(latin1ToUtf8("Caf\xE9 \xFF"), "Caf\xC3\xA9 \xC3\xBF");
    EXPECT_EQ(compoundTextToUtf8("Caf\xE9"), "Caf\xC3\xA9");
    EXPECT_EQ(compoundTextToUtf8("a\x1B%G\xE6\x97\xA5\x1B%@b"),
              "a\xE6\x97\xA5"
              "b");
    // Text in a character set that is not decoded: one replacement per byte, then back to ASCII.
    EXPECT_EQ(compoundTextToUtf8("\x1B$(B\x46\x7C\x1B(Bok"), "\xEF\xBF\xBD\xEF\xBF\xBDok");
    EXPECT_EQ(compoundTextToUtf8("\x1B-L\xE0"
                                 "x\x1B-A\xE0"),
              "\xEF\xBF\xBDx\xC3\xA0");
    EXPECT_EQ(compoundTextToUtf8("\x1B"), "");
}

}  // namespace
}  // namespace quorvel::x11
