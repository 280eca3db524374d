#pragma once

// How the X server lays out the pixels of a ZPixmap image, as its connection setup and the root
// window's visual tell, and their decoding to RGB. Only TrueColor at 24 or 32 bits per pixel is
// decoded: any other layout is refused rather than guessed at.

#include <cstdint>
#include <span>

#include "capture/RgbImage.h"

namespace quorvel::capture {

struct PixelFormat {
    bool trueColor = true;
    int depth = 24;
    int bitsPerPixel = 32;
    int scanlinePad = 32;   // bits: every row starts at a multiple of it
    bool msbFirst = false;  // the setup's image byte order
    std::uint32_t redMask = 0xff0000;
    std::uint32_t greenMask = 0x00ff00;
    std::uint32_t blueMask = 0x0000ff;
};

// Throws CaptureFailure, saying which layout it is, unless `decodeZPixmap` can decode it.
void requireSupported(const PixelFormat& format);

// The image of `width` by `height` pixels that `data` holds; CaptureFailure if it is too short.
RgbImage decodeZPixmap(std::span<const std::uint8_t> data, std::size_t width, std::size_t height,
                       const PixelFormat& format);

}  // namespace quorvel::capture
