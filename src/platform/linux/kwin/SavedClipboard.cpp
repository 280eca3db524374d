#include "platform/linux/kwin/SavedClipboard.h"

#include <array>
#include <cstdint>

namespace quorvel::kwin {

namespace {

constexpr std::size_t lengthBytes = 8;

void appendLength(std::string& out, std::size_t length) {
    for (std::size_t index = 0; index < lengthBytes; ++index) {
        out.push_back(
            static_cast<char>((static_cast<std::uint64_t>(length) >> (8 * index)) & 0xff));
    }
}

// The next length-prefixed piece of `bytes`, consumed; absent when `bytes` is too short.
std::optional<std::string> takePiece(std::string_view& bytes) {
    if (bytes.size() < lengthBytes) {
        return std::nullopt;
    }
    std::uint64_t length = 0;
    for (std::size_t index = 0; index < lengthBytes; ++index) {
        length |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[index]))
                  << (8 * index);
    }
    bytes.remove_prefix(lengthBytes);
    if (length > bytes.size()) {
        return std::nullopt;
    }
    std::string piece(bytes.substr(0, length));
    bytes.remove_prefix(length);
    return piece;
}

}  // namespace

bool worthSaving(std::string_view mimeType) {
    constexpr std::array<std::string_view, 8> conversionTargets = {
        "TARGETS", "MULTIPLE",        "TIMESTAMP",        "SAVE_TARGETS",
        "DELETE",  "INSERT_PROPERTY", "INSERT_SELECTION", "LENGTH"};
    if (mimeType.empty()) {
        return false;
    }
    for (std::string_view target : conversionTargets) {
        if (mimeType == target) {
            return false;
        }
    }
    return true;
}

const std::vector<std::string>& pastedTextTypes() {
    static const std::vector<std::string> types = {"text/plain;charset=utf-8", "UTF8_STRING",
                                                   "text/plain", "TEXT", "STRING"};
    return types;
}

std::string encode(const SavedClipboard& clipboard) {
    std::string out;
    for (const auto& [type, bytes] : clipboard.types) {
        appendLength(out, type.size());
        out += type;
        appendLength(out, bytes.size());
        out += bytes;
    }
    return out;
}

std::optional<SavedClipboard> decode(std::string_view bytes) {
    SavedClipboard clipboard;
    std::size_t total = 0;
    while (!bytes.empty()) {
        std::optional<std::string> type = takePiece(bytes);
        std::optional<std::string> data = type ? takePiece(bytes) : std::nullopt;
        if (!data || type->empty()) {
            return std::nullopt;
        }
        total += data->size();
        if (total > savedClipboardLimit) {
            return std::nullopt;
        }
        clipboard.types.emplace_back(std::move(*type), std::move(*data));
    }
    return clipboard;
}

}  // namespace quorvel::kwin
