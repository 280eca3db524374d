#include <gtest/gtest.h>

#include <string>

#include "platform/linux/kwin/SavedClipboard.h"

namespace quorvel::kwin {
namespace {

using namespace std::string_literals;

std::string describe(const SavedClipboard& clipboard) {
    std::string text;
    for (const auto& [type, bytes] : clipboard.types) {
        text += type + "=" + std::to_string(bytes.size()) + ":" + bytes + ";";
    }
    return text;
}

// What the serving process gets is what the driver saved, byte for byte and in order.
TEST(SavedClipboard, ReachesTheServingProcessExactlyAsSaved) {
    const SavedClipboard cases[] = {
        {},
        {{{"text/plain", ""}}},
        {{{"text/plain;charset=utf-8", "h\xC3\xA9llo \xE2\x9C\x93"},
          {"image/png", "\x89PNG\r\n\x1a\n\0\0\0\rIHDR"s},
          {"x-special/nautilus-clipboard", std::string(70000, 'z')}}},
    };
    for (const SavedClipboard& saved : cases) {
        std::optional<SavedClipboard> back = decode(encode(saved));
        ASSERT_TRUE(back) << describe(saved).substr(0, 80);
        EXPECT_EQ(describe(*back), describe(saved));
    }
}

TEST(SavedClipboard, AnythingButOneWholeClipboardWithinTheLimitIsRefused) {
    std::string whole = encode({{{"text/plain", "abc"}, {"UTF8_STRING", "abc"}}});
    const std::pair<const char*, std::string> cases[] = {
        {"cut inside a length", whole.substr(0, 4)},
        {"cut inside the bytes", whole.substr(0, whole.size() - 1)},
        {"a type without its bytes", encode({{{"text/plain", ""}}}).substr(0, 18)},
        {"bytes beyond the end", whole + "x"},
        {"a type without a name", encode({{{"", "abc"}}})},
        {"over the limit", encode({{{"a/b", std::string(savedClipboardLimit / 2 + 1, 'x')},
                                    {"c/d", std::string(savedClipboardLimit / 2, 'y')}}})},
    };
    for (const auto& [what, bytes] : cases) {
        EXPECT_FALSE(decode(bytes)) << what;
    }
    EXPECT_TRUE(decode(whole));
}

TEST(SavedClipboard, OnlyTypesThatNameDataAreSaved) {
    for (const char* data : {"text/plain", "UTF8_STRING", "STRING", "TEXT", "image/png",
                             "text/uri-list", "application/x-kde-cutselection"}) {
        EXPECT_TRUE(worthSaving(data)) << data;
    }
    for (const char* target : {"", "TARGETS", "MULTIPLE", "TIMESTAMP", "SAVE_TARGETS"}) {
        EXPECT_FALSE(worthSaving(target)) << target;
    }
}

}  // namespace
}  // namespace quorvel::kwin
