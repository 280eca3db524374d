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

// How the sequence at the start of `bytes` reads by Unicode's table of well-formed byte
// sequences: its length when it is well-formed, else how many bytes of it begin a sequence
// (at least 1), which become one U+FFFD ("maximal subpart" replacement).
struct Sequence {
    bool wellFormed;
    std::size_t length;
};

Sequence readSequence(std::string_view bytes) {
    auto byte = [&](std::size_t index) { return static_cast<std::uint8_t>(bytes[index]); };
    std::uint8_t lead = byte(0);
    if (lead < 0x80) {
        return {true, 1};
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
        return {false, 1};
    }
    for (std::size_t index = 1; index < length; ++index) {
        std::uint8_t first = index == 1 ? low : 0x80;
        std::uint8_t last = index == 1 ? high : 0xBF;
        if (index >= bytes.size() || byte(index) < first || byte(index) > last) {
            return {false, index};
        }
    }
    return {true, length};
}

}  // namespace

std::string repairUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    while (!bytes.empty()) {
        Sequence sequence = readSequence(bytes);
        if (sequence.wellFormed) {
            out.append(bytes.substr(0, sequence.length));
        } else {
            out += replacement;
        }
        bytes.remove_prefix(sequence.length);
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
