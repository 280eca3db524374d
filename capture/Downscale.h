#pragma once

// Shrinks an image by area averaging: every target pixel is the mean of the source area it
// covers, parts of pixels weighted by their share. Text stays legible, unlike with skipped rows.

#include <cstddef>

#include "capture/RgbImage.h"

namespace quorvel::capture {

// The image at `width` by `height`, each no larger than the source's and at least 1.
RgbImage downscale(RgbImage source, std::size_t width, std::size_t height);

}  // namespace quorvel::capture
