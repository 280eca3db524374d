#pragma once

// The JavaScript the driver loads into KWin. The watch reports the whole window list at once
// and again on every change that KWin signals, to the driver's unique bus name; the activation
// makes one window active and says so. Both are plain text here so that tests can read them.

#include <string>
#include <string_view>

namespace quorvel::kwin {

// Calls `method`("report", text) on the driver's callback object with the window report.
std::string watchScript(std::string_view service);

// Makes the window with `internalId` active (showing it first when minimised), then calls the
// driver back with `token`.
std::string activationScript(std::string_view service, std::string_view internalId,
                             std::string_view token);

// A string as a JavaScript string literal (JSON's escaping is JavaScript's).
std::string javascriptString(std::string_view text);

}  // namespace quorvel::kwin
