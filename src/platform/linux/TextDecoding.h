#pragma once

// Window titles and class names reach us as bytes in one of the encodings X allows; the window
// list carries them as valid UTF-8, whatever the application stored.

#include <string>
#include <string_view>

namespace quorvel::x11 {

// The bytes as UTF-8, each ill-formed sequence replaced by U+FFFD.
std::string repairUtf8(std::string_view bytes);

// ISO 8859-1 bytes (the STRING type) as UTF-8.
std::string latin1ToUtf8(std::string_view bytes);

// COMPOUND_TEXT as UTF-8: ASCII and Latin-1 (its initial state) and embedded UTF-8 segments
// are decoded; text in any other designated character set becomes U+FFFD.
std::string compoundTextToUtf8(std::string_view bytes);

}  // namespace quorvel::x11
