#pragma once

// An image of 8-bit red, green and blue samples, the form the PNG is written in.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorvel::capture {

struct RgbImage {
    static constexpr std::size_t bytesPerPixel = 3;

    RgbImage() = default;
    RgbImage(std::size_t width, std::size_t height)
        : width(width), height(height), pixels(width * height * bytesPerPixel) {}

    std::uint8_t* row(std::size_t y) { return pixels.data() + y * width * bytesPerPixel; }
    const std::uint8_t* row(std::size_t y) const {
        return pixels.data() + y * width * bytesPerPixel;
    }

    std::size_t width = 0;
    std::size_t height = 0;
    std::vector<std::uint8_t> pixels;  // rows from the top, red then green then blue
};

}  // namespace quorvel::capture
