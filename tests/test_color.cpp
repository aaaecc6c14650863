// Colour stages driven directly on small working images.

#include "pipeline/pipeline.h"
#include "pipeline/pixel.h"
#include "support/working_image.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

using vornalix::EditParams;
using vornalix::Pipeline;

namespace {

constexpr float kTol = 1e-4f;

using Stage = void (Pipeline::*)(cv::Mat&, const EditParams&);

cv::Mat applied(Stage stage, std::initializer_list<cv::Vec3f> colours, const EditParams& p) {
    Pipeline pl;
    cv::Mat img = working_row(colours);
    (pl.*stage)(img, p);
    return img;
}

}  // namespace

// Saturation scales each channel's distance from the Rec. 709 luminance;
// vibrance does so less the more saturated a pixel already is.
TEST(ColourSaturation, MinusHundredGreysPlusHundredDoublesDistanceVibranceSparesSaturatedPixels) {
    const Stage stage = &Pipeline::apply_saturation_vibrance;
    EditParams p;
    p.saturation = -100.0f;
    EXPECT_RGB_NEAR(rgb_at(applied(stage, {{0.6f, 0.4f, 0.3f}}, p), 0), 0.4353f, 0.4353f, 0.4353f, kTol);
    p.saturation = 100.0f;
    EXPECT_RGB_NEAR(rgb_at(applied(stage, {{0.9f, 0.1f, 0.5f}}, p), 0), 1.0f, 0.0f, 0.70104f, kTol);  // clamped

    p = EditParams{};
    p.vibrance = 100.0f;
    const cv::Mat vivid = applied(stage, {{0.6f, 0.5f, 0.5f}, {0.9f, 0.2f, 0.2f}}, p);
    EXPECT_RGB_NEAR(rgb_at(vivid, 0), 0.644094f, 0.488094f, 0.488094f, kTol);
    EXPECT_RGB_NEAR(rgb_at(vivid, 1), 0.9f, 0.2f, 0.2f, kTol);
}

TEST(ColourHsl, BandWeightsAndShifts) {
    const Stage stage = &Pipeline::apply_hsl;
    EditParams p;
    p.hsl[0].hue = 30.0f;
    const cv::Mat shifted = applied(stage, {{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}}, p);
    EXPECT_RGB_NEAR(rgb_at(shifted, 0), 1.0f, 0.5f, 0.0f, kTol);
    EXPECT_RGB_NEAR(rgb_at(shifted, 1), 0.0f, 1.0f, 0.0f, kTol);
    // Shifts beyond -720 degrees still wrap around the circle: -1000 is +80.
    p.hsl[0].hue = -1000.0f;
    EXPECT_RGB_NEAR(rgb_at(applied(stage, {{1.0f, 0.0f, 0.0f}}, p), 0), 2.0f / 3.0f, 1.0f, 0.0f, kTol);

    // A hue of 15 degrees sums both neighbours' luminance shifts, each with weight 0.537.
    p = EditParams{};
    p.hsl[0].luminance = 40.0f;
    p.hsl[1].luminance = 20.0f;
    EXPECT_RGB_NEAR(rgb_at(applied(stage, {{1.0f, 0.25f, 0.0f}}, p), 0), 1.0f, 0.491667f, 0.322222f, kTol);
}

TEST(ColourSplitToning, TintsGreyAndFollowsBothWeights) {
    const Stage stage = &Pipeline::apply_split_toning;
    EditParams p;
    p.split_highlight_hue = 30.0f;
    p.split_highlight_saturation = 100.0f;
    const cv::Mat tinted = applied(stage, {{0.5f, 0.5f, 0.5f}, {1.0f, 1.0f, 1.0f}}, p);
    EXPECT_RGB_NEAR(rgb_at(tinted, 0), 0.575f, 0.434375f, 0.425f, kTol);
    EXPECT_RGB_NEAR(rgb_at(tinted, 1), 1.0f, 1.0f, 1.0f, kTol);  // lightness 1 stays white
    // The shadow hue enters the target through the shadow weight even at saturation 0:
    // hue 0.0729167 and saturation 0.15.
    p.split_shadow_hue = 180.0f;
    EXPECT_RGB_NEAR(rgb_at(applied(stage, {{0.5f, 0.5f, 0.5f}}, p), 0), 0.575f, 0.490625f, 0.425f, kTol);
}

TEST(PixelHelpers, RemainderMatchesFmodToTheLastBit) {
    cv::RNG rng(5);
    std::vector<float> values = {0.0f, -0.0f, 2.0f, 5.9999995f, 6.0f, 11.999999f, -5.9999995f, 1e-30f, 1e30f,
                                 std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};
    for (int i = 0; i < 20000; ++i) values.push_back(rng.uniform(-25.0f, 25.0f));
    for (float m : {2.0f, 6.0f})
        for (float x : values) {
            const float expected = std::fmod(x, m), got = vornalix::pixel::fmod_near(x, m);
            if (std::isnan(expected)) {
                EXPECT_TRUE(std::isnan(got)) << x;
                continue;
            }
            EXPECT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << x << " mod " << m;
        }
}
