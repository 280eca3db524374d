#pragma once

// The Unicode rules the driver needs, in one place: UTF-16 lengths, user-perceived characters
// (extended grapheme clusters) and locale-independent upper-casing. Text is UTF-8 on the way in;
// invalid bytes are read as U+FFFD.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel {

std::size_t utf16Length(std::string_view utf8);

// The UTF-16 code units of each extended grapheme cluster, in order.
std::vector<std::u16string> graphemeClusters(std::string_view utf8);

// The first `count` extended grapheme clusters, never cutting one.
std::string firstGraphemes(std::string_view utf8, std::size_t count);

// Unicode default upper-casing with full case mapping (ß becomes SS), whatever the locale.
std::string upperCase(std::string_view utf8);

}  // namespace quorvel
