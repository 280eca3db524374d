#pragma once

// The command line of quorvel-capture:
//
//   quorvel-capture [--region X Y WIDTH HEIGHT] [--max-width N] [--info]
//
// A region of 0 0 0 0, like no region, is the whole screen.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace quorvel::capture {

// A rectangle in X root pixels. Wide integers, so that a region's far edge never overflows.
struct Rect {
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;

    bool operator==(const Rect&) const = default;
};

struct CaptureOptions {
    std::optional<Rect> region = std::nullopt;  // none: the whole screen
    std::int64_t maxWidth = 1280;
    bool info = false;  // describe the capture instead of making it

    bool operator==(const CaptureOptions&) const = default;
};

// The options, or CaptureFailure("Invalid arguments: ...") saying what is wrong with them.
CaptureOptions parseArguments(std::span<const std::string_view> arguments);

}  // namespace quorvel::capture
