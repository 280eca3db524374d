#include "platform/macos/QuartzEvent.h"

#include <algorithm>

namespace quorvel::macos {

namespace {

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

}  // namespace

std::vector<std::u16string_view> textPieces(std::u16string_view text, std::size_t limit) {
    limit = std::max<std::size_t>(limit, 2);
    std::vector<std::u16string_view> pieces;
    while (!text.empty()) {
        std::size_t length = std::min(limit, text.size());
        if (length < text.size() && isHighSurrogate(text[length - 1])) {
            --length;
        }
        pieces.push_back(text.substr(0, length));
        text.remove_prefix(length);
    }
    return pieces;
}

}  // namespace quorvel::macos
