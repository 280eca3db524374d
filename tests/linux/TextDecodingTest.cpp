#include "platform/linux/x11/TextDecoding.h"

#include <gtest/gtest.h>

#include <cstdint>

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

TEST(TextDecoding, Latin1BecomesUtf8) {
    EXPECT_EQ(latin1ToUtf8("Caf\xE9 \xFF"), "Caf\xC3\xA9 \xC3\xBF");
}

// The encoded bytes come from Python's codecs (euc_cn, hz, iso2022_jp, iso2022_jp_2, euc_jp,
// iso2022_kr, euc_kr, iso8859_N, shift_jis, big5), the expected text is its UTF-8.
TEST(TextDecoding, CompoundTextDecodesEachDesignatedSet) {
    struct Case {
        const char* what;
        std::string bytes;
        std::string text;
    };
    const std::string fffd = "\xEF\xBF\xBD";
    const std::string zhongwen = "\xE4\xB8\xAD\xE6\x96\x87";
    const Case cases[] = {
        {"initial Latin-1 right half", "Caf\xE9", "Caf\xC3\xA9"},
        {"UTF-8 segment", "a\x1B%G\xE6\x97\xA5\x1B%@b",
         "a\xE6\x97\xA5"
         "b"},
        {"GB 2312 in GR", "\x1B$)A\xD6\xD0\xCE\xC4", zhongwen},
        {"GB 2312 in GL, then ASCII", "\x1B$(AVPND\x1B(B!", zhongwen + "!"},
        {"GL stays ASCII beside a double-byte GR", "a\x1B$)A\xD6\xD0 b\xCE\xC4",
         "a\xE4\xB8\xAD b\xE6\x96\x87"},
        {"JIS X 0208, short designation", "\x1B$BF|K\\8l\x1B(B",
         "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
        {"JIS X 0208 in GL, back to ASCII", "\x1B$(BCfJ8\x1B(Bok", zhongwen + "ok"},
        {"JIS X 0208 in GR", "\x1B$)B\xC6\xFC\xCB\xDC\xB8\xEC",
         "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
        {"JIS X 0212 in GL", "\x1B$(D0!", "\xE4\xB8\x82"},
        {"KS C 5601 in GL", "\x1B$(CGQ19", "\xED\x95\x9C\xEA\xB5\xAD"},
        {"KS C 5601 in GR", "\x1B$)C\xC7\xD1\xB1\xB9", "\xED\x95\x9C\xEA\xB5\xAD"},
        {"Latin-2",
         "\x1B-B\xA3\xF3"
         "d\xBC",
         "\xC5\x81\xC3\xB3"
         "d\xC5\xBA"},
        {"Greek", "\x1B-F\xD9\xEC\xDD\xE3\xE1", "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1"},
        {"Cyrillic, then Latin-1 again", "\x1B-L\xBC\xD8\xE0 \x1B-A\xE0",
         "\xD0\x9C\xD0\xB8\xD1\x80 \xC3\xA0"},
        {"Latin-9", "\x1B-b\xA4", "\xE2\x82\xAC"},
        {"Latin-8", "\x1B-_\xF0", "\xC5\xB5"},
        {"JIS X 0201 Katakana", "\x1B)I\xB6\xC0\xB6\xC5",
         "\xEF\xBD\xB6\xEF\xBE\x80\xEF\xBD\xB6\xEF\xBE\x85"},
        {"JIS X 0201 Roman", "\x1B(J\\~", "\xC2\xA5\xE2\x80\xBE"},
        {"truncated pair at the end", "\x1B$)A\xD6\xD0\xCE", "\xE4\xB8\xAD" + fffd},
        {"lone byte of a pair before ASCII", "\x1B$)A\xD6x", fffd + "x"},
        {"pair split by a newline", "\x1B$)A\xD6\n\xD0", fffd + "\n" + fffd},
        {"unknown double-byte set, one per pair", "\x1B$)G\xC4\xA1\xC4\xA1x", fffd + fffd + "x"},
        {"unknown 94-set", "\x1B(Zab\x1B(Bc", fffd + fffd + "c"},
        {"unknown 96-set", "\x1B-Z\xE0\xE1", fffd + fffd},
        {"unassigned in ISO 8859-3", "\x1B-C\xA5\xA1", fffd + "\xC4\xA6"},
        {"unassigned GB 2312 row", "\x1B$)A\xAA\xA1\xD6\xD0", fffd + "\xE4\xB8\xAD"},
        {"outside a 94-set in GR", "\x1B)I\xA0\xFF", fffd + fffd},
        {"extended segment, known name",
         "\x1B%/2\x80\x8B"
         "big5-0\x02\xA4\xA4\xA4\xE5!",
         zhongwen + "!"},
        {"extended segment, ISO 8859-14", "\x1B%/1\x80\x8Ciso8859-14\x02\xF0", "\xC5\xB5"},
        {"extended segment, unknown name", "\x1B%/2\x80\x8Bnosuch-0\x02\xA4\xA4!", fffd + "!"},
        {"extended segment longer than the text",
         "\x1B%/2\x80\xFF"
         "big5-0\x02\xA4\xA4",
         "\xE4\xB8\xAD"},
        {"controls in an extended segment",
         "\x1B%/1\x80\x8Diso8859-1\x02\x07\x7F"
         "a",
         "a"},
        {"truncated escape", "ab\x1B$)", "ab"},
        {"truncated extended segment header", "ab\x1B%/2\x80", "ab"},
        {"lone escape", "\x1B", ""},
        {"escape without a final byte", "\x1B$\nx", "\nx"},
        {"direction changes",
         "\x9B"
         "1]abc\x9B]",
         "abc"},
        {"controls dropped, newline and tab kept",
         "a\x01\x7F\x85"
         "b\tc\n",
         "ab\tc\n"},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(compoundTextToUtf8(test.bytes), test.text) << test.what;
    }
}

TEST(TextDecoding, CompoundTextIsValidUtf8WhateverTheBytes) {
    // Bytes that make up escape sequences, pairs and segment headers, in a fixed random order.
    const char symbols[] = "\x1B$()-%/GAB@CIJLb\x02\x80\x81\x8B\xA1\xC4\xD6\xFF\n\x9B]1";
    const std::string alphabet(symbols, sizeof symbols);  // with the NUL
    std::uint32_t state = 12345;
    for (int round = 0; round < 3000; ++round) {
        std::string bytes;
        for (int index = static_cast<int>(state % 24); index > 0; --index) {
            state = state * 1103515245 + 12345;
            bytes += alphabet[(state >> 16) % alphabet.size()];
        }
        state = state * 1103515245 + 12345;
        std::string text = compoundTextToUtf8(bytes);
        ASSERT_EQ(repairUtf8(text), text) << testing::PrintToString(bytes);
    }
}

}  // namespace
}  // namespace quorvel::x11
