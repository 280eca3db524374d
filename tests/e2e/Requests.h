#pragma once

// The requests that the end-to-end tests send, written the way a host writes them.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Json.h"

namespace quorvel::e2e {

inline const std::string lostFocus =
    "Target lost focus; input stopped. Observe again before retrying.";

inline Json click(double x, double y) {
    return {{"type", "click"}, {"x", x}, {"y", y}};
}
inline Json keys(std::vector<std::string> names) {
    return {{"type", "keypress"}, {"keys", names}};
}
inline Json type(const std::string& text) {
    return {{"type", "type"}, {"text", text}};
}
inline Json pause() {
    return {{"type", "wait"}, {"seconds", 0.3}};
}
inline Json batch(std::int32_t pid, Json actions) {
    return {{"pid", pid}, {"actions", std::move(actions)}};
}

}  // namespace quorvel::e2e
