#include "platform/linux/TextDecoding.h"

#include <cstdint>

namespace quorvel::x11 {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

void appendCodePoint(std::string& out, char32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The length of the well-formed sequence at the start of `bytes` (Unicode's table of
// well-formed byte sequences), or 0 when it is ill-formed.
std::size_t wellFormedLength(std::string_view bytes) {
    auto byte = [&](std::size_t index) { return static_cast<std::uint8_t>(bytes[index]); };
    std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    std::uint8_t low = 0x80;
    std::uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (bytes.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t index = 2; index < length; ++index) {
        if (byte(index) < 0x80 || byte(index) > 0xBF) {
            return 0;
        }
    }
    return length;
}

}  // namespace

std::string repairUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        std::size_t length = wellFormedLength(bytes);
        if (length == 0) {
            out += replacement;
            // Skip the lead byte and any continuation bytes that belong to it.
            std::size_t skip = 1;
            while (skip < bytes.size() && skip < 4 &&
                   (static_cast<std::uint8_t>(bytes[skip]) & 0xC0) == 0x80) {
                ++skip;
            }
            bytes.remove_prefix(skip);
            continue;
        }
        out.append(bytes.substr(0, length));
        bytes.remove_prefix(length);
    }
    return out;
}

std::string latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char byte : bytes) {
        appendCodePoint(out, static_cast<std::uint8_t>(byte));
    }
    return out;
}

std::string compoundTextToUtf8(std::string_view bytes) {
    std::string out;
    bool knownLeft = true;   // GL holds ASCII
    bool knownRight = true;  // GR holds the right half of Latin-1
    while (!bytes.empty()) {
        auto byte = static_cast<std::uint8_t>(bytes.front());
        if (byte == 0x1B) {
            // "ESC % G" opens UTF-8 text that "ESC % @" closes.
            if (bytes.substr(0, 3) == "\x1B%G") {
                bytes.remove_prefix(3);
                std::size_t end = bytes.find("\x1B%@");
                out += repairUtf8(bytes.substr(0, end));
                bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 3);
                continue;
            }
            // Other escape sequences: intermediate bytes 0x20-0x2F, then one final byte.
            std::size_t end = 1;
            while (end < bytes.size() && static_cast<std::uint8_t>(bytes[end]) >= 0x20 &&
                   static_cast<std::uint8_t>(bytes[end]) <= 0x2F) {
                ++end;
            }
            std::string_view sequence = bytes.substr(0, end + 1);
            bytes.remove_prefix(std::min(end + 1, bytes.size()));
            if (sequence == "\x1B(B") {
                knownLeft = true;
            } else if (sequence == "\x1B-A") {
                knownRight = true;
            } else if (sequence.size() > 1 && (sequence[1] == '(' || sequence[1] == '$')) {
                knownLeft = false;
            } else {
                knownRight = false;
            }
            continue;
        }
        bytes.remove_prefix(1);
        if (byte == '\n' || byte == '\t') {
            out += static_cast<char>(byte);
        } else if (byte >= 0x20 && byte < 0x80) {
            if (knownLeft) {
                out += static_cast<char>(byte);
            } else {
                out += replacement;
            }
        } else if (byte >= 0xA0) {
            if (knownRight) {
                appendCodePoint(out, byte);
            } else {
                out += replacement;
            }
        }
    }
    return out;
}

}  // namespace quorvel::x11
