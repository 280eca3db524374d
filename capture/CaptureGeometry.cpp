#include "capture/CaptureGeometry.h"

#include <algorithm>

#include "capture/CaptureFailure.h"

namespace quorvel::capture {

namespace {

Rect intersect(const Rect& region, ScreenSize screen) {
    std::int64_t left = std::max<std::int64_t>(region.x, 0);
    std::int64_t top = std::max<std::int64_t>(region.y, 0);
    std::int64_t right = std::min(region.x + region.width, screen.width);
    std::int64_t bottom = std::min(region.y + region.height, screen.height);
    if (right <= left || bottom <= top) {
        throw CaptureFailure("The region lies outside the screen");
    }
    return {left, top, right - left, bottom - top};
}

}  // namespace

CapturePlan planCapture(const CaptureOptions& options, ScreenSize screen) {
    Rect whole{0, 0, screen.width, screen.height};
    CapturePlan plan;
    plan.area = intersect(options.region.value_or(whole), screen);
    plan.pngWidth = plan.area.width;
    plan.pngHeight = plan.area.height;
    if (plan.area.width > options.maxWidth) {
        plan.pngWidth = options.maxWidth;
        // Rounded to the nearest row, and never below one: a thin strip stays a strip.
        std::int64_t twice = 2 * plan.area.height * options.maxWidth;
        plan.pngHeight =
            std::max<std::int64_t>(1, (twice + plan.area.width) / (2 * plan.area.width));
    }
    plan.scale = static_cast<double>(plan.pngWidth) / static_cast<double>(plan.area.width);
    return plan;
}

}  // namespace quorvel::capture
