#pragma once

// The user's clipboard as the driver saves it before its first paste and puts it back at the end
// of the request: every type the owner offered with its bytes, in the owner's order. Also the
// form in which the saved clipboard reaches the process that serves it once the driver is gone.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvel::kwin {

// All types together; a larger clipboard is not saved, and so not replaced by a paste.
constexpr std::size_t savedClipboardLimit = 32 * 1024 * 1024;

struct SavedClipboard {
    // (MIME type, bytes); empty when there was no selection.
    std::vector<std::pair<std::string, std::string>> types;
};

// Whether a type that an owner offers is data worth saving: X11's conversion targets that
// XWayland's bridge may list (TARGETS, MULTIPLE, TIMESTAMP...) name no data of their own.
bool worthSaving(std::string_view mimeType);

// The types a paste offers its text as: what GTK, Qt and X11 clients under XWayland ask for.
const std::vector<std::string>& pastedTextTypes();

std::string encode(const SavedClipboard& clipboard);
// Absent unless `bytes` is exactly one encoded clipboard within the limit.
std::optional<SavedClipboard> decode(std::string_view bytes);

}  // namespace quorvel::kwin
