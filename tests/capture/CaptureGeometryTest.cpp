// The region cut to the screen, and the scale that fits it in the widest width allowed.

#include <gtest/gtest.h>

#include "capture/CaptureFailure.h"
#include "capture/CaptureGeometry.h"

namespace quorvel::capture {
namespace {

constexpr ScreenSize screen{1280, 800};

TEST(CaptureGeometry, CutsToTheScreenAndScalesDownOnly) {
    struct Case {
        CaptureOptions options;
        CapturePlan expected;
    };
    const Case cases[] = {
        {{}, {{0, 0, 1280, 800}, 1280, 800, 1.0}},
        {{.maxWidth = 640}, {{0, 0, 1280, 800}, 640, 400, 0.5}},
        {{.maxWidth = 4000}, {{0, 0, 1280, 800}, 1280, 800, 1.0}},  // never up
        {{.region = Rect{10, 20, 100, 50}}, {{10, 20, 100, 50}, 100, 50, 1.0}},
        {{.region = Rect{-10, -20, 100, 50}}, {{0, 0, 90, 30}, 90, 30, 1.0}},
        {{.region = Rect{1200, 700, 500, 500}}, {{1200, 700, 80, 100}, 80, 100, 1.0}},
        {{.region = Rect{-5, -5, 5000, 5000}}, {{0, 0, 1280, 800}, 1280, 800, 1.0}},
        // 333 rows at 1000/1280 are 260.16: the nearest row.
        {{.region = Rect{0, 0, 1280, 333}, .maxWidth = 1000},
         {{0, 0, 1280, 333}, 1000, 260, 1000.0 / 1280}},
        {{.region = Rect{0, 0, 1000, 1}, .maxWidth = 10},
         {{0, 0, 1000, 1}, 10, 1, 0.01}},  // never 0 rows
        {{.region = Rect{0, 0, 3, 3}, .maxWidth = 2}, {{0, 0, 3, 3}, 2, 2, 2.0 / 3}},
    };
    for (const Case& test : cases) {
        CapturePlan plan = planCapture(test.options, screen);
        EXPECT_EQ(plan, test.expected)
            << plan.area.x << "," << plan.area.y << " " << plan.area.width << "x"
            << plan.area.height << " -> " << plan.pngWidth << "x" << plan.pngHeight;
    }
}

TEST(CaptureGeometry, ARegionThatSharesNoPixelWithTheScreenIsRefused) {
    const Rect outside[] = {{1280, 0, 10, 10},
                            {0, 800, 10, 10},
                            {-10, 0, 10, 10},
                            {0, -10, 10, 10},
                            {-2147483648, 0, 2147483647, 1}};
    for (const Rect& region : outside) {
        try {
            planCapture({.region = region}, screen);
            ADD_FAILURE() << region.x << "," << region.y << " was accepted";
        } catch (const CaptureFailure& failure) {
            EXPECT_STREQ(failure.what(), "The region lies outside the screen");
        }
    }
}

}  // namespace
}  // namespace quorvel::capture
