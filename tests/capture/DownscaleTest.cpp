// Area averaging: each target pixel the mean of the source area it covers.

#include <gtest/gtest.h>

#include <vector>

#include "capture/Downscale.h"

namespace quorvel::capture {
namespace {

// A grey image from one value a pixel, rows from the top.
RgbImage grey(std::size_t width, std::size_t height, const std::vector<int>& values) {
    RgbImage image(width, height);
    for (std::size_t index = 0; index < values.size(); ++index) {
        for (std::size_t channel = 0; channel < 3; ++channel) {
            image.pixels[index * 3 + channel] = static_cast<std::uint8_t>(values[index]);
        }
    }
    return image;
}

std::vector<int> greyValues(const RgbImage& image) {
    std::vector<int> values;
    for (std::size_t index = 0; index < image.pixels.size(); index += 3) {
        values.push_back(image.pixels[index]);
    }
    return values;
}

TEST(Downscale, AveragesTheAreaEachPixelCovers) {
    struct Case {
        const char* what;
        RgbImage source;
        std::size_t width, height;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"halved", grey(4, 2, {0, 100, 200, 40, 10, 60, 50, 70}), 2, 1, {43, 90}},
        {"same size", grey(2, 1, {7, 9}), 2, 1, {7, 9}},
        // Three columns into two: the middle one shared half and half.
        {"three into two", grey(3, 1, {0, 90, 180}), 2, 1, {30, 150}},
        {"rows only", grey(1, 3, {0, 90, 180}), 1, 1, {90}},
        {"to one pixel", grey(3, 2, {255, 255, 255, 255, 255, 255}), 1, 1, {255}},
    };
    for (const Case& test : cases) {
        RgbImage result = downscale(test.source, test.width, test.height);
        EXPECT_EQ(result.width, test.width) << test.what;
        EXPECT_EQ(result.height, test.height) << test.what;
        EXPECT_EQ(greyValues(result), test.expected) << test.what;
    }
}

TEST(Downscale, KeepsTheChannelsApart) {
    RgbImage source(2, 1);
    source.pixels = {255, 0, 10, 255, 0, 30};
    EXPECT_EQ(downscale(source, 1, 1).pixels, (std::vector<std::uint8_t>{255, 0, 20}));
}

}  // namespace
}  // namespace quorvel::capture
