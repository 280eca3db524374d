#pragma once

// Encodes an RGB image as a PNG file in memory, so that a failure half way leaves nothing
// written to the caller.

#include <string>

#include "capture/RgbImage.h"

namespace quorvel::capture {

// The PNG file's bytes; CaptureFailure if libpng could not make them. libpng says nothing on
// standard error: its warnings are dropped and its errors end up in the failure's message.
std::string encodePng(const RgbImage& image);

}  // namespace quorvel::capture
