#include "main/Unicode.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>
#include <optional>

namespace quorvel {

namespace {

icu::UnicodeString fromUtf8(std::string_view utf8) {
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
}

std::string toUtf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

// Calls `visit(start, end)` for each cluster until it returns false.
template <class Visit>
void forEachCluster(const icu::UnicodeString& text, Visit visit) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> breaks(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !breaks) {
        // Without break rules every code point stands alone, which still never splits one.
        for (int32_t start = 0; start < text.length();) {
            int32_t end = text.moveIndex32(start, 1);
            if (!visit(start, end)) {
                return;
            }
            start = end;
        }
        return;
    }
    breaks->setText(text);
    int32_t start = breaks->first();
    for (int32_t end = breaks->next(); end != icu::BreakIterator::DONE; end = breaks->next()) {
        if (!visit(start, end)) {
            return;
        }
        start = end;
    }
}

// Plain ASCII needs no break rules: every character is a cluster of its own except CR LF, and
// a boundary is certain once the character after it is ASCII too. Nothing when a character
// that is not ASCII comes before the cut.
std::optional<std::string> firstAsciiGraphemes(std::string_view utf8, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t index = 0; index < utf8.size();) {
        if (static_cast<unsigned char>(utf8[index]) >= 0x80) {
            return std::nullopt;
        }
        if (seen == count) {
            return std::string(utf8.substr(0, index));
        }
        bool crLf = utf8[index] == '\r' && index + 1 < utf8.size() && utf8[index + 1] == '\n';
        index += crLf ? 2 : 1;
        ++seen;
    }
    return std::string(utf8);
}

}  // namespace

std::size_t utf16Length(std::string_view utf8) {
    return static_cast<std::size_t>(fromUtf8(utf8).length());
}

std::vector<std::u16string> graphemeClusters(std::string_view utf8) {
    icu::UnicodeString text = fromUtf8(utf8);
    std::vector<std::u16string> clusters;
    forEachCluster(text, [&](int32_t start, int32_t end) {
        clusters.emplace_back(text.getBuffer() + start, text.getBuffer() + end);
        return true;
    });
    return clusters;
}

std::string firstGraphemes(std::string_view utf8, std::size_t count) {
    if (std::optional<std::string> ascii = firstAsciiGraphemes(utf8, count)) {
        return *ascii;
    }
    icu::UnicodeString text = fromUtf8(utf8);
    std::size_t seen = 0;
    int32_t cut = text.length();
    forEachCluster(text, [&](int32_t start, int32_t) {
        if (seen == count) {
            cut = start;
            return false;
        }
        ++seen;
        return true;
    });
    return toUtf8(text.tempSubString(0, cut));
}

std::string upperCase(std::string_view utf8) {
    icu::UnicodeString text = fromUtf8(utf8);
    text.toUpper(icu::Locale::getRoot());
    return toUtf8(text);
}

}  // namespace quorvel
