#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "main/Unicode.h"

namespace quorvel {
namespace {

TEST(Unicode, Utf16LengthCountsSupplementaryCharactersTwice) {
    EXPECT_EQ(utf16Length(""), 0u);
    EXPECT_EQ(utf16Length("abc"), 3u);
    EXPECT_EQ(utf16Length("\xC3\xA9"), 1u);          // é
    EXPECT_EQ(utf16Length("\xE6\x97\xA5"), 1u);      // 日
    EXPECT_EQ(utf16Length("\xF0\x9F\x98\x80"), 2u);  // 😀
}

TEST(Unicode, GraphemeClustersFollowCurrentRules) {
    struct Case {
        const char* text;
        std::vector<std::size_t> unitsPerCluster;
    };
    const Case cases[] = {
        {"ab", {1, 1}},
        {"e\xCC\x81x", {2, 1}},                                 // e + combining acute
        {"\r\n", {2}},                                          // CR LF
        {"\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9", {5}},  // man ZWJ woman
        {"\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA", {4, 4}},  // FR DE
        {"\xED\x95\x9C\xEA\xB5\xAD", {1, 1}},           // 한국 syllables
        {"\xE1\x84\x92\xE1\x85\xA1\xE1\x86\xAB", {3}},  // jamo L V T
    };
    for (const Case& c : cases) {
        std::vector<std::size_t> sizes;
        for (const auto& cluster : graphemeClusters(c.text)) {
            sizes.push_back(cluster.size());
        }
        EXPECT_EQ(sizes, c.unitsPerCluster) << c.text;
    }
}

TEST(Unicode, FirstGraphemesNeverSplitsACluster) {
    struct Case {
        std::string text;
        std::size_t count;
        std::string expected;
    };
    const Case cases[] = {
        {"abc", 2, "ab"},
        {"abc", 3, "abc"},
        {"abc", 5, "abc"},
        {"abc", 0, ""},
        {"", 1, ""},
        {"e\xCC\x81"
         "e\xCC\x81",
         1, "e\xCC\x81"},
        // CR LF is one character; a CR or LF alone is one too.
        {"a\r\nb", 2, "a\r\n"},
        {"a\r\nb", 1, "a"},
        {"\r\r\n", 1, "\r"},
        {"\n\r", 1, "\n"},
        {std::string("a\0b", 3), 2, std::string("a\0", 2)},
        // A mark after plain letters belongs to the last of them.
        {"abe\xCC\x81z", 3, "abe\xCC\x81"},
        {"ab\xCC\x81", 1, "a"},
        {"ab\xCC\x81", 2, "ab\xCC\x81"},
        {"a\xE2\x80\x8D", 1, "a\xE2\x80\x8D"},  // a ZWJ
        {"\xE6\x97\xA5\xE6\x9C\xAC", 1, "\xE6\x97\xA5"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(firstGraphemes(c.text, c.count), c.expected) << c.text << " / " << c.count;
    }
}

TEST(Unicode, UpperCaseUsesFullDefaultMapping) {
    EXPECT_EQ(upperCase("enter"), "ENTER");
    EXPECT_EQ(upperCase("\xC5\xBF"), "S");  // long s
    EXPECT_EQ(upperCase("\xC4\xB1"), "I");  // dotless i
    EXPECT_EQ(upperCase("stra\xC3\x9F"
                        "e"),
              "STRASSE");            // sharp s
    EXPECT_EQ(upperCase("i"), "I");  // not the Turkish dotted capital
}

}  // namespace
}  // namespace quorvel
