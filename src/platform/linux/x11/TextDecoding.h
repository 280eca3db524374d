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

// COMPOUND_TEXT (ISO 2022 with the X character sets) as UTF-8: the sets designated to GL and GR
// (ASCII and the right half of Latin-1 at first; JIS X 0201, the right halves of ISO 8859,
// GB 2312, JIS X 0208 and 0212, KS C 5601), UTF-8 segments, and extended segments in an
// encoding ICU knows. Newline and tab are kept, other controls dropped; each character that
// cannot be decoded, and each segment in an unknown encoding, becomes one U+FFFD.
std::string compoundTextToUtf8(std::string_view bytes);

}  // namespace quorvel::x11
