#include "capture/PixelFormat.h"

#include <bit>
#include <string>

#include "capture/CaptureFailure.h"

namespace quorvel::capture {

namespace {

// One colour channel: where its bits lie in a pixel, and how to widen or narrow them to 8 bits.
struct Channel {
    explicit Channel(std::uint32_t mask)
        : mask(mask), shift(mask == 0 ? 0 : std::countr_zero(mask)), maximum(mask >> shift) {}

    bool usable(int bitsPerPixel) const {
        bool contiguous = mask != 0 && std::has_single_bit(std::uint64_t{maximum} + 1);
        bool fits = bitsPerPixel == 32 || (mask >> bitsPerPixel) == 0;
        return contiguous && fits && maximum <= 0xffff;
    }
    std::uint8_t sample(std::uint32_t pixel) const {
        std::uint32_t value = (pixel & mask) >> shift;
        return static_cast<std::uint8_t>((value * 255 + maximum / 2) / maximum);
    }

    std::uint32_t mask;
    int shift;
    std::uint32_t maximum;
};

std::string describe(const PixelFormat& format) {
    return std::string(format.trueColor ? "TrueColor" : "not TrueColor") + ", depth " +
           std::to_string(format.depth) + " at " + std::to_string(format.bitsPerPixel) +
           " bits per pixel";
}

std::size_t rowStride(std::size_t width, const PixelFormat& format) {
    std::size_t pad = static_cast<std::size_t>(format.scanlinePad);
    std::size_t bits = width * static_cast<std::size_t>(format.bitsPerPixel);
    return (bits + pad - 1) / pad * pad / 8;
}

std::uint32_t readPixel(const std::uint8_t* bytes, std::size_t count, bool msbFirst) {
    std::uint32_t pixel = 0;
    for (std::size_t index = 0; index < count; ++index) {
        std::size_t significance = msbFirst ? count - 1 - index : index;
        pixel |= std::uint32_t{bytes[index]} << (8 * significance);
    }
    return pixel;
}

}  // namespace

void requireSupported(const PixelFormat& format) {
    bool sizeKnown = format.bitsPerPixel == 24 || format.bitsPerPixel == 32;
    bool padKnown = format.scanlinePad == 8 || format.scanlinePad == 16 || format.scanlinePad == 32;
    bool channelsKnown = Channel(format.redMask).usable(format.bitsPerPixel) &&
                         Channel(format.greenMask).usable(format.bitsPerPixel) &&
                         Channel(format.blueMask).usable(format.bitsPerPixel) &&
                         (format.redMask & format.greenMask) == 0 &&
                         (format.redMask & format.blueMask) == 0 &&
                         (format.greenMask & format.blueMask) == 0;
    if (!format.trueColor || format.depth < 24 || !sizeKnown || !padKnown || !channelsKnown) {
        throw CaptureFailure(
            "Screen capture is not possible: the screen's pixel format is not supported (" +
            describe(format) + "; only TrueColor at 24 or 32 bits per pixel is)");
    }
}

RgbImage decodeZPixmap(std::span<const std::uint8_t> data, std::size_t width, std::size_t height,
                       const PixelFormat& format) {
    requireSupported(format);
    std::size_t bytesPerPixel = static_cast<std::size_t>(format.bitsPerPixel) / 8;
    std::size_t stride = rowStride(width, format);
    if (height > 0 && data.size() < stride * (height - 1) + width * bytesPerPixel) {
        throw CaptureFailure("Screen capture failed: the X server sent less image than asked for");
    }
    Channel red(format.redMask), green(format.greenMask), blue(format.blueMask);
    RgbImage image(width, height);
    for (std::size_t y = 0; y < height; ++y) {
        const std::uint8_t* source = data.data() + y * stride;
        std::uint8_t* target = image.row(y);
        for (std::size_t x = 0; x < width; ++x, source += bytesPerPixel) {
            std::uint32_t pixel = readPixel(source, bytesPerPixel, format.msbFirst);
            *target++ = red.sample(pixel);
            *target++ = green.sample(pixel);
            *target++ = blue.sample(pixel);
        }
    }
    return image;
}

}  // namespace quorvel::capture
