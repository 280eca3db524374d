#pragma once

// What a capture reads from the screen and how large its PNG is: the asked region cut to the
// screen, then scaled down (never up) to the widest width allowed, keeping the aspect ratio.

#include <cstdint>

#include "capture/Arguments.h"

namespace quorvel::capture {

struct ScreenSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
};

struct CapturePlan {
    Rect area;  // read from the screen, in X root pixels, within the screen
    std::int64_t pngWidth = 0;
    std::int64_t pngHeight = 0;
    double scale = 1.0;  // pngWidth / area.width

    bool operator==(const CapturePlan&) const = default;
};

// The plan, or CaptureFailure when the region and the screen share no pixel.
CapturePlan planCapture(const CaptureOptions& options, ScreenSize screen);

}  // namespace quorvel::capture
