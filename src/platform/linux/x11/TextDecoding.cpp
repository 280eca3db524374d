#include "platform/linux/x11/TextDecoding.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/utf16.h>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

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

// What a character set designated to GL or GR is, and how the bytes of one of its characters
// become text.
enum class Decoding : std::uint8_t { Ascii, JisRoman, JisKatakana, Latin1, Converter, Unknown };

struct CharacterSet {
    Decoding decoding = Decoding::Unknown;
    std::size_t width = 1;            // bytes per character
    bool ninetySix = false;           // GR's 0xA0 and 0xFF are characters of the set too
    const char* converter = nullptr;  // ICU's name for the set's 8-bit (EUC or ISO 8859) form
    char prefix = 0;                  // a byte before each character in that form (EUC-JP's G3)
};

// ESC ( F and ESC ) F.
CharacterSet set94(char final) {
    switch (final) {
        case 'B':
            return {Decoding::Ascii};
        case 'J':
            return {Decoding::JisRoman};
        case 'I':
            return {Decoding::JisKatakana};
        default:
            return {Decoding::Unknown};
    }
}

// ESC - F: the right halves of ISO 8859, by their ISO-IR final bytes.
CharacterSet set96(char final) {
    static constexpr std::pair<char, const char*> rightHalves[] = {
        {'B', "ISO-8859-2"},  {'C', "ISO-8859-3"},  {'D', "ISO-8859-4"},  {'F', "ISO-8859-7"},
        {'G', "ISO-8859-6"},  {'H', "ISO-8859-8"},  {'L', "ISO-8859-5"},  {'M', "ISO-8859-9"},
        {'T', "ISO-8859-11"}, {'V', "ISO-8859-10"}, {'Y', "ISO-8859-13"}, {'_', "ISO-8859-14"},
        {'b', "ISO-8859-15"}, {'f', "ISO-8859-16"},
    };
    if (final == 'A') {
        return {Decoding::Latin1, 1, true};
    }
    for (const auto& [known, name] : rightHalves) {
        if (known == final) {
            return {Decoding::Converter, 1, true, name};
        }
    }
    return {Decoding::Unknown, 1, true};
}

// ESC $ ( F and ESC $ ) F. The EUC forms put each byte of a pair in GR.
CharacterSet set94n(char final) {
    switch (final) {
        case 'A':
            return {Decoding::Converter, 2, false, "EUC-CN"};
        case 'B':
            return {Decoding::Converter, 2, false, "EUC-JP"};
        case 'C':
            return {Decoding::Converter, 2, false, "EUC-KR"};
        case 'D':  // JIS X 0212, EUC-JP's third set
            return {Decoding::Converter, 2, false, "EUC-JP", '\x8F'};
        default:
            // The final byte tells the size of a set we cannot decode.
            return {Decoding::Unknown, static_cast<std::size_t>(final < 0x60   ? 2
                                                                : final < 0x70 ? 3
                                                                               : 4)};
    }
}

struct CloseConverter {
    void operator()(UConverter* converter) const { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, CloseConverter>;

// One U+FFFD for each character the converter cannot map, whatever its own substitute is (some
// give U+001A for a single byte).
void U_CALLCONV replaceUndecodable(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                                   UConverterCallbackReason reason, UErrorCode* status) {
    if (reason <= UCNV_IRREGULAR) {
        static const UChar fffd = 0xFFFD;
        *status = U_ZERO_ERROR;
        ucnv_cbToUWriteUChars(args, &fffd, 1, 0, status);
    }
}

// The name an extended segment gives, when it is one to hand to ICU: ICU reads a name with a
// path separator as a data file to load, and options after a comma.
bool plausibleEncodingName(std::string_view name) {
    if (name.empty() || name.size() > 60) {
        return false;
    }
    auto alphanumeric = [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    };
    if (!alphanumeric(name.front())) {
        return false;
    }
    for (char c : name) {
        if (!alphanumeric(c) && c != '-' && c != '_' && c != '.') {
            return false;
        }
    }
    return true;
}

bool isGl(std::uint8_t byte) {
    return byte >= 0x21 && byte <= 0x7E;
}
bool isGr(std::uint8_t byte) {
    return byte >= 0xA1 && byte <= 0xFE;
}

class CompoundTextDecoder {
  public:
    std::string decode(std::string_view bytes) {
        out_.reserve(bytes.size());
        while (!bytes.empty()) {
            auto byte = static_cast<std::uint8_t>(bytes.front());
            if (byte == 0x1B) {
                escape(bytes);
            } else if (byte == 0x9B) {
                controlSequence(bytes);
            } else if (byte == '\n' || byte == '\t' || byte == ' ') {
                put(byte);
                bytes.remove_prefix(1);
            } else if (isGl(byte)) {
                character(bytes, left_, isGl);
            } else if (byte >= 0xA0) {
                character(bytes, right_, isGr);
            } else {
                bytes.remove_prefix(1);  // other controls, and DEL
            }
        }
        flush();
        return std::move(out_);
    }

  private:
    void put(char32_t code) {
        flush();
        appendCodePoint(out_, code);
    }
    void replace() { put(0xFFFD); }

    // One character of `set` at the front of `bytes`, all its bytes in the same half.
    void character(std::string_view& bytes, const CharacterSet& set, bool (*inHalf)(std::uint8_t)) {
        auto first = static_cast<std::uint8_t>(bytes.front());
        if (!set.ninetySix && !inHalf(first)) {  // 0xA0 or 0xFF beside a 94-set
            bytes.remove_prefix(1);
            replace();
            return;
        }
        std::size_t length = 1;
        while (length < set.width && length < bytes.size() &&
               inHalf(static_cast<std::uint8_t>(bytes[length]))) {
            ++length;
        }
        std::string_view units = bytes.substr(0, length);
        bytes.remove_prefix(length);
        if (length < set.width) {  // a lone byte of a pair
            replace();
            return;
        }
        char32_t code = first & 0x7F;
        switch (set.decoding) {
            case Decoding::Ascii:
                put(code);
                return;
            case Decoding::JisRoman:
                put(code == 0x5C ? U'\u00A5' : code == 0x7E ? U'\u203E' : code);
                return;
            case Decoding::JisKatakana:
                put(code <= 0x5F ? U'\uFF61' + (code - 0x21) : U'\uFFFD');
                return;
            case Decoding::Latin1:
                put(first | 0x80);
                return;
            case Decoding::Unknown:
                replace();
                return;
            case Decoding::Converter:
                break;
        }
        if (pendingConverter_ != set.converter) {
            flush();
            pendingConverter_ = set.converter;
        }
        if (set.prefix != 0) {
            pending_ += set.prefix;
        }
        for (char unit : units) {
            pending_ += static_cast<char>(unit | 0x80);
        }
        ++pendingCharacters_;
    }

    // ESC, intermediate bytes 0x20-0x2F, a final byte 0x30-0x7E.
    void escape(std::string_view& bytes) {
        std::size_t end = 1;
        while (end < bytes.size() && static_cast<std::uint8_t>(bytes[end]) >= 0x20 &&
               static_cast<std::uint8_t>(bytes[end]) <= 0x2F) {
            ++end;
        }
        if (end == bytes.size()) {
            bytes = {};  // cut short at the end
            return;
        }
        auto final = static_cast<std::uint8_t>(bytes[end]);
        if (final < 0x30 || final > 0x7E) {
            bytes.remove_prefix(end);  // not a sequence; what follows is read as it is
            return;
        }
        std::string_view intermediates = bytes.substr(1, end - 1);
        bytes.remove_prefix(end + 1);
        char f = static_cast<char>(final);
        if (intermediates == "(") {
            left_ = set94(f);
        } else if (intermediates == ")") {
            right_ = set94(f);
        } else if (intermediates == "-") {
            right_ = set96(f);
        } else if (intermediates == "$(" || (intermediates == "$" && f >= 'A' && f <= 'C')) {
            left_ = set94n(f);
        } else if (intermediates == "$)") {
            right_ = set94n(f);
        } else if (intermediates == "$-") {
            right_ = {Decoding::Unknown, 2, true};
        } else if (intermediates == "%/") {
            extendedSegment(bytes);
        } else if (intermediates == "%" && f != '@') {
            // Another coding system up to ESC % @: UTF-8, else text we cannot read.
            std::size_t close = bytes.find("\x1B%@");
            std::string_view text = bytes.substr(0, close);
            bytes.remove_prefix(close == std::string_view::npos ? bytes.size() : close + 3);
            if (f == 'G') {
                flush();
                out_ += repairUtf8(text);
            } else if (!text.empty()) {
                replace();
            }
        }
        // Anything else (ESC # for the extension rules, G2 and G3) changes nothing we read.
    }

    // ESC % / F M L, then (M-128)*128 + (L-128) bytes: an encoding's name, STX, its text.
    void extendedSegment(std::string_view& bytes) {
        if (bytes.size() < 2) {
            bytes = {};
            return;
        }
        auto high = static_cast<std::uint8_t>(bytes[0]);
        auto low = static_cast<std::uint8_t>(bytes[1]);
        if (high < 0x80 || low < 0x80) {
            return;  // no length: read on as ordinary text
        }
        bytes.remove_prefix(2);
        std::size_t length = (high - 0x80) * 0x80 + (low - 0x80);
        std::string_view segment = bytes.substr(0, length);
        bytes.remove_prefix(segment.size());
        std::size_t stx = segment.find('\x02');
        UConverter* converter = nullptr;
        if (stx != std::string_view::npos) {
            std::string_view name = segment.substr(0, stx);
            converter = converterNamed(name);
            // X names an encoding by its registry and encoding, as in "big5-0".
            if (!converter && name.ends_with("-0")) {
                converter = converterNamed(name.substr(0, name.size() - 2));
            }
        }
        if (converter) {
            flush();
            convert(converter, segment.substr(stx + 1), false);
        } else if (!segment.empty()) {
            replace();
        }
    }

    // CSI, parameters 0x30-0x3F, intermediates 0x20-0x2F, a final byte: the direction changes
    // (CSI 1 ], CSI 2 ], CSI ]) say nothing about the characters.
    void controlSequence(std::string_view& bytes) {
        std::size_t end = 1;
        while (end < bytes.size() && static_cast<std::uint8_t>(bytes[end]) >= 0x30 &&
               static_cast<std::uint8_t>(bytes[end]) <= 0x3F) {
            ++end;
        }
        while (end < bytes.size() && static_cast<std::uint8_t>(bytes[end]) >= 0x20 &&
               static_cast<std::uint8_t>(bytes[end]) <= 0x2F) {
            ++end;
        }
        if (end < bytes.size() && static_cast<std::uint8_t>(bytes[end]) >= 0x40 &&
            static_cast<std::uint8_t>(bytes[end]) <= 0x7E) {
            bytes.remove_prefix(end + 1);
        } else {
            bytes.remove_prefix(1);
        }
    }

    // Opened once per name; a name ICU does not know is remembered as such.
    UConverter* converterNamed(std::string_view name) {
        for (const auto& [known, converter] : converters_) {
            if (known == name) {
                return converter.get();
            }
        }
        Converter converter;
        if (plausibleEncodingName(name)) {
            UErrorCode status = U_ZERO_ERROR;
            converter.reset(ucnv_open(std::string(name).c_str(), &status));
            if (U_SUCCESS(status)) {
                ucnv_setToUCallBack(converter.get(), replaceUndecodable, nullptr, nullptr, nullptr,
                                    &status);
            }
            if (U_FAILURE(status)) {
                converter.reset();
            }
        }
        converters_.emplace_back(std::string(name), std::move(converter));
        return converters_.back().second.get();
    }

    // Pairs and right-half bytes of one set are gathered and converted in one go.
    void flush() {
        if (pending_.empty()) {
            return;
        }
        std::string bytes = std::move(pending_);
        std::size_t characters = pendingCharacters_;
        pending_.clear();
        pendingCharacters_ = 0;
        if (UConverter* converter = converterNamed(pendingConverter_)) {
            // These sets assign no private-use characters; ICU's mappings of vendor rows into
            // that area are not text anyone wrote.
            convert(converter, bytes, true);
        } else {
            for (; characters > 0; --characters) {
                out_ += replacement;
            }
        }
    }

    void convert(UConverter* converter, std::string_view bytes, bool privateUseIsUndecodable) {
        ucnv_resetToUnicode(converter);
        std::vector<UChar> units;
        const char* source = bytes.data();
        const char* sourceEnd = source + bytes.size();
        UChar buffer[256];
        while (true) {
            UChar* target = buffer;
            UErrorCode status = U_ZERO_ERROR;
            const char* before = source;
            ucnv_toUnicode(converter, &target, buffer + std::size(buffer), &source, sourceEnd,
                           nullptr, true, &status);
            units.insert(units.end(), buffer, target);
            if (status != U_BUFFER_OVERFLOW_ERROR || (target == buffer && source == before)) {
                if (U_FAILURE(status) && status != U_BUFFER_OVERFLOW_ERROR) {
                    units.push_back(0xFFFD);
                }
                break;
            }
        }
        std::size_t index = 0;
        while (index < units.size()) {
            UChar32 code;
            U16_NEXT(units.data(), index, units.size(), code);
            if (U_IS_SURROGATE(code) ||
                (privateUseIsUndecodable && code >= 0xE000 && code <= 0xF8FF)) {
                code = 0xFFFD;
            }
            bool control =
                (code < 0x20 && code != '\n' && code != '\t') || (code >= 0x7F && code < 0xA0);
            if (!control) {
                appendCodePoint(out_, static_cast<char32_t>(code));
            }
        }
    }

    CharacterSet left_{Decoding::Ascii};
    CharacterSet right_{Decoding::Latin1, 1, true};
    std::string out_;
    std::string pending_;
    const char* pendingConverter_ = nullptr;
    std::size_t pendingCharacters_ = 0;
    std::vector<std::pair<std::string, Converter>> converters_;
};

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
    return CompoundTextDecoder().decode(bytes);
}

}  // namespace quorvel::x11
