#include "platform/linux/atspi/FrameMatching.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace quorvel::atspi {

namespace {

// GTK scales by whole numbers, Qt by any factor; these are the ones desktops offer.
constexpr double toolkitScales[] = {1.0, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0, 4.0};
// The widest shadow a toolkit keeps around a window it decorates itself, per unit of scale.
constexpr double widestMargin = 64;

struct Candidate {
    FrameMapping mapping;
    bool titled = false;
    bool offset = false;
    double margin = 0;

    auto preference() const { return std::make_tuple(!titled, offset, margin); }
};

// The mapping of `frame` onto `area` at `scale`, when the area is the frame scaled plus an
// equal margin on every side. A toolkit rounds its units, so each comparison allows a pixel per
// unit of scale, and an offset within that is no offset.
std::optional<Candidate> fit(const Extents& frame, const Extents& area, double scale) {
    double tolerance = scale + 1;
    double marginX = area.width - scale * frame.width;
    double marginY = area.height - scale * frame.height;
    if (std::abs(marginX - marginY) > tolerance || marginX < -tolerance ||
        marginX > widestMargin * scale) {
        return std::nullopt;
    }
    Candidate candidate;
    candidate.margin = std::max(0.0, (marginX + marginY) / 2);
    double inset = std::round(candidate.margin / 2);
    double offsetX = area.x + inset - scale * frame.x;
    double offsetY = area.y + inset - scale * frame.y;
    candidate.mapping.scale = scale;
    candidate.mapping.offsetX = std::abs(offsetX) <= tolerance ? 0 : offsetX;
    candidate.mapping.offsetY = std::abs(offsetY) <= tolerance ? 0 : offsetY;
    candidate.offset = candidate.mapping.offsetX != 0 || candidate.mapping.offsetY != 0;
    return candidate;
}

bool samePlacement(const FrameMapping& a, const FrameMapping& b) {
    return a.scale == b.scale && a.offsetX == b.offsetX && a.offsetY == b.offsetY;
}

}  // namespace

std::optional<FrameMapping> matchFrame(const Extents& frame, const std::string& name,
                                       const std::vector<ServerWindow>& windows) {
    if (frame.width <= 0 || frame.height <= 0) {
        return std::nullopt;
    }
    std::vector<Candidate> candidates;
    for (const ServerWindow& window : windows) {
        for (const Extents& area : {window.client, window.outer}) {
            for (double scale : toolkitScales) {
                if (std::optional<Candidate> candidate = fit(frame, area, scale)) {
                    candidate->mapping.window = window.id;
                    candidate->titled = !name.empty() && window.title == name;
                    candidates.push_back(*candidate);
                }
            }
        }
    }
    if (candidates.empty()) {
        return std::nullopt;
    }
    std::stable_sort(
        candidates.begin(), candidates.end(),
        [](const Candidate& a, const Candidate& b) { return a.preference() < b.preference(); });
    const Candidate& best = candidates.front();
    for (const Candidate& other : candidates) {
        if (other.preference() == best.preference() &&
            other.mapping.window != best.mapping.window &&
            !samePlacement(other.mapping, best.mapping)) {
            return std::nullopt;
        }
    }
    return best.mapping;
}

Extents onServer(const FrameMapping& mapping, const Extents& extents) {
    auto place = [&](double value, double offset) {
        return static_cast<std::int32_t>(std::lround(value * mapping.scale + offset));
    };
    Extents placed;
    placed.x = place(extents.x, mapping.offsetX);
    placed.y = place(extents.y, mapping.offsetY);
    placed.width = place(extents.width, 0);
    placed.height = place(extents.height, 0);
    return placed;
}

bool overlaps(const Extents& inner, const Extents& outer) {
    auto reach = [](std::int64_t start, std::int32_t length) {
        return start + std::max<std::int32_t>(length, 1);
    };
    return inner.x < reach(outer.x, outer.width) && outer.x < reach(inner.x, inner.width) &&
           inner.y < reach(outer.y, outer.height) && outer.y < reach(inner.y, inner.height);
}

Extents withoutStepButtons(const Extents& spinButton) {
    Extents text = spinButton;
    if (spinButton.height > 0 && spinButton.width >= 3 * std::int64_t{spinButton.height}) {
        text.width -= 2 * spinButton.height;
    }
    return text;
}

}  // namespace quorvel::atspi
