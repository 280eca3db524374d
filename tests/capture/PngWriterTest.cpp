// The PNG round trip: written here, read back with libpng, pixel for pixel.

#include <gtest/gtest.h>
#include <png.h>

#include "capture/CaptureFailure.h"
#include "capture/PngWriter.h"

namespace quorvel::capture {
namespace {

RgbImage decode(const std::string& file) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    RgbImage image;
    if (!png_image_begin_read_from_memory(&png, file.data(), file.size())) {
        ADD_FAILURE() << png.message;
        return image;
    }
    png.format = PNG_FORMAT_RGB;
    image = RgbImage(png.width, png.height);
    if (!png_image_finish_read(&png, nullptr, image.pixels.data(), 0, nullptr)) {
        ADD_FAILURE() << png.message;
    }
    png_image_free(&png);
    return image;
}

TEST(PngWriter, WritesAnImageThatReadsBackPixelForPixel) {
    for (auto [width, height] : {std::pair{1, 1}, {5, 3}, {640, 400}}) {
        RgbImage image(width, height);
        for (std::size_t index = 0; index < image.pixels.size(); ++index) {
            image.pixels[index] = static_cast<std::uint8_t>(index * 7 + index / 5);
        }
        std::string file = encodePng(image);
        ASSERT_EQ(file.substr(0, 8), "\x89PNG\r\n\x1a\n");
        RgbImage read = decode(file);
        EXPECT_EQ(read.width, image.width);
        EXPECT_EQ(read.height, image.height);
        EXPECT_EQ(read.pixels, image.pixels) << width << "x" << height;
    }
}

TEST(PngWriter, AnImageLibpngRefusesIsAFailureAndNothingOnStandardError) {
    ::testing::internal::CaptureStderr();
    EXPECT_THROW(encodePng(RgbImage(0, 0)), CaptureFailure);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace quorvel::capture
