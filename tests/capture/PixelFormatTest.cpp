// ZPixmap bytes to RGB under the layouts a server may use, and the layouts refused.

#include <gtest/gtest.h>

#include <vector>

#include "capture/CaptureFailure.h"
#include "capture/PixelFormat.h"

namespace quorvel::capture {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(PixelFormat, DecodesByTheMasksTheByteOrderAndTheRowPad) {
    struct Case {
        const char* layout;
        PixelFormat format;
        Bytes data;  // one pixel a row, two rows
        Bytes rgb;
    };
    const PixelFormat xvfb;  // depth 24, 32 bits, LSB first, red in the high byte
    const Case cases[] = {
        {"xvfb",
         xvfb,
         {0x33, 0x22, 0x11, 0x00, 0xff, 0x00, 0x80, 0xaa},
         {0x11, 0x22, 0x33, 0x80, 0x00, 0xff}},
        {"msb first",
         {.msbFirst = true},
         {0x00, 0x11, 0x22, 0x33, 0xaa, 0x80, 0x00, 0xff},
         {0x11, 0x22, 0x33, 0x80, 0x00, 0xff}},
        {"blue high",
         {.redMask = 0xff, .blueMask = 0xff0000},
         {0x11, 0x22, 0x33, 0x00, 0x01, 0x02, 0x03, 0x00},
         {0x11, 0x22, 0x33, 0x01, 0x02, 0x03}},
        {"24 bits, rows padded to 32",
         {.bitsPerPixel = 24},
         {0x33, 0x22, 0x11, 0xee, 0x03, 0x02, 0x01},
         {0x11, 0x22, 0x33, 0x01, 0x02, 0x03}},
        // 10 bits a channel: 0x3ff is full, 0x200 just over half.
        {"depth 30",
         {.depth = 30, .redMask = 0x3ff00000, .greenMask = 0xffc00, .blueMask = 0x3ff},
         {0x00, 0x00, 0xf0, 0x3f, 0xff, 0x03, 0x08, 0x00},
         {0xff, 0x00, 0x00, 0x00, 0x80, 0xff}},
    };
    for (const Case& test : cases) {
        RgbImage image = decodeZPixmap(test.data, 1, 2, test.format);
        EXPECT_EQ(image.pixels, test.rgb) << test.layout;
    }
}

TEST(PixelFormat, RefusesWhatItWouldHaveToGuessAndImagesCutShort) {
    struct Case {
        const char* layout;
        PixelFormat format;
    };
    const Case cases[] = {
        {"not TrueColor", {.trueColor = false}},
        {"depth 16",
         {.depth = 16,
          .bitsPerPixel = 16,
          .redMask = 0xf800,
          .greenMask = 0x7e0,
          .blueMask = 0x1f}},
        {"depth 8 in 32 bits", {.depth = 8}},
        {"no pixmap format", {.bitsPerPixel = 0, .scanlinePad = 0}},
        {"no green", {.greenMask = 0}},
        {"red and green overlap", {.redMask = 0xffff00}},
        {"split mask", {.blueMask = 0x0f000f}},
        {"mask beyond 24 bits", {.bitsPerPixel = 24, .redMask = 0xff000000}},
    };
    for (const Case& test : cases) {
        EXPECT_THROW(requireSupported(test.format), CaptureFailure) << test.layout;
    }
    EXPECT_NO_THROW(requireSupported(PixelFormat{}));
    Bytes sevenBytes(7);  // two rows of one 32-bit pixel need eight
    EXPECT_THROW(decodeZPixmap(sevenBytes, 1, 2, PixelFormat{}), CaptureFailure);
}

}  // namespace
}  // namespace quorvel::capture
