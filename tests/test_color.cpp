// Colour stages driven directly on small working images.

#include "pipeline/pipeline.h"
#include "pipeline/pixel.h"
#include "pipeline/tone_math.h"
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

float lum(const cv::Vec3f& c) { return vornalix::pixel::luminance(c[0], c[1], c[2]); }

vornalix::pixel::Hsl hsl_of(const cv::Vec3f& c) {
    vornalix::pixel::Hsl h;
    vornalix::pixel::rgb_to_hsl(c[0], c[1], c[2], 1e-6f, h);
    return h;
}
}  // namespace

TEST(ColourSaturation, MinusHundredGreysPlusHundredDoublesDistance) {
    Pipeline pl;
    EditParams p;
    const cv::Vec3f in{0.6f, 0.4f, 0.3f};
    cv::Mat img = working_row({in, {0.9f, 0.1f, 0.5f}});
    p.saturation = -100.0f;
    pl.apply_saturation_vibrance(img, p);
    const float l = lum(in);
    EXPECT_RGB_NEAR(rgb_at(img, 0), l, l, l, kTol);

    img = working_row({in, {0.9f, 0.1f, 0.5f}});
    p.saturation = 100.0f;
    pl.apply_saturation_vibrance(img, p);
    EXPECT_RGB_NEAR(rgb_at(img, 0), l + 2 * (0.6f - l), l + 2 * (0.4f - l), l + 2 * (0.3f - l), kTol);
    const float l2 = lum({0.9f, 0.1f, 0.5f});
    EXPECT_RGB_NEAR(rgb_at(img, 1), 1.0f, 0.0f, l2 + 2 * (0.5f - l2), kTol);  // clamped
}

TEST(ColourVibrance, ProtectsSaturatedPixels) {
    Pipeline pl;
    EditParams p;
    p.vibrance = 100.0f;
    cv::Mat img = working_row({{0.4f, 0.4f, 0.4f}, {0.6f, 0.5f, 0.5f}, {0.9f, 0.2f, 0.2f}});
    pl.apply_saturation_vibrance(img, p);
    EXPECT_RGB_NEAR(rgb_at(img, 0), 0.4f, 0.4f, 0.4f, kTol);
    const float l = lum({0.6f, 0.5f, 0.5f});
    EXPECT_RGB_NEAR(rgb_at(img, 1), l + 1.56f * (0.6f - l), l + 1.56f * (0.5f - l), l + 1.56f * (0.5f - l), kTol);
    EXPECT_RGB_NEAR(rgb_at(img, 2), 0.9f, 0.2f, 0.2f, kTol);
}

TEST(ColourHsl, BandWeightsAndShifts) {
    using namespace vornalix::tone;
    const auto& centres = hue_band_centres();
    const float w15 = 1.0f - (1.0f / 24.0f) / 0.09f;  // about 0.537
    EXPECT_NEAR(linear_band_weight(hue_distance(1.0f / 24.0f, centres[0]), 0.09f), w15, 1e-6f);
    EXPECT_NEAR(linear_band_weight(hue_distance(1.0f / 24.0f, centres[1]), 0.09f), w15, 1e-6f);
    EXPECT_NEAR(linear_band_weight(hue_distance(0.97f, centres[0]), 0.09f), 1.0f - 0.03f / 0.09f, 1e-6f);
    EXPECT_EQ(linear_band_weight(hue_distance(0.5f, centres[2]), 0.09f), 0.0f);

    Pipeline pl;
    EditParams p;
    p.hsl[0].hue = 30.0f;
    cv::Mat img = working_row({{1.0f, 0.0f, 0.0f}, {0.0f, 1.0f, 0.0f}, {0.5f, 0.5f, 0.5f}});
    pl.apply_hsl(img, p);
    EXPECT_RGB_NEAR(rgb_at(img, 0), 1.0f, 0.5f, 0.0f, kTol);
    EXPECT_RGB_NEAR(rgb_at(img, 1), 0.0f, 1.0f, 0.0f, kTol);
    EXPECT_RGB_NEAR(rgb_at(img, 2), 0.5f, 0.5f, 0.5f, 0.0f);

    // Shifts beyond -720 degrees still wrap around the circle: -1000 is +80.
    p.hsl[0].hue = -1000.0f;
    img = working_row({{1.0f, 0.0f, 0.0f}});
    pl.apply_hsl(img, p);
    EXPECT_RGB_NEAR(rgb_at(img, 0), 2.0f / 3.0f, 1.0f, 0.0f, kTol);

    // A hue of 15 degrees sums both neighbours' luminance shifts with weight 0.537.
    p = EditParams{};
    p.hsl[0].luminance = 40.0f;
    p.hsl[1].luminance = 20.0f;
    img = working_row({{1.0f, 0.25f, 0.0f}});
    pl.apply_hsl(img, p);
    const float l = 0.5f + w15 * 60.0f / 200.0f;
    EXPECT_RGB_NEAR(rgb_at(img, 0), 1.0f, 0.25f * 2 * (1 - l) + (2 * l - 1), 2 * l - 1, kTol);

    // Luminance +100 at full weight raises the lightness by 0.5.
    p = EditParams{};
    p.hsl[0].luminance = 100.0f;
    img = working_row({{0.4f, 0.2f, 0.2f}});
    pl.apply_hsl(img, p);
    EXPECT_NEAR(hsl_of(rgb_at(img, 0)).l, 0.8f, kTol);
    EXPECT_NEAR(hsl_of(rgb_at(img, 0)).h, 0.0f, kTol);
}

TEST(ColourSplitToning, TintsGreyAndFollowsBothWeights) {
    Pipeline pl;
    EditParams p;
    p.split_highlight_hue = 30.0f;
    p.split_highlight_saturation = 100.0f;
    cv::Mat img = working_row({{0.5f, 0.5f, 0.5f}, {1.0f, 1.0f, 1.0f}, {0.0f, 0.0f, 0.0f}});
    pl.apply_split_toning(img, p);
    EXPECT_RGB_NEAR(rgb_at(img, 0), 0.575f, 0.434375f, 0.425f, kTol);
    EXPECT_RGB_NEAR(rgb_at(img, 1), 1.0f, 1.0f, 1.0f, kTol);  // lightness 1 stays white
    EXPECT_RGB_NEAR(rgb_at(img, 2), 0.0f, 0.0f, 0.0f, kTol);

    // The shadow hue enters the target through the shadow weight even at saturation 0.
    p.split_shadow_hue = 180.0f;
    img = working_row({{0.5f, 0.5f, 0.5f}});
    pl.apply_split_toning(img, p);
    EXPECT_NEAR(hsl_of(rgb_at(img, 0)).h, 0.0729167f, kTol);
    EXPECT_NEAR(hsl_of(rgb_at(img, 0)).s, 0.15f, kTol);

    float wh, ws;
    vornalix::tone::split_toning_weights(0.0f, 0.3f, wh, ws);
    EXPECT_NEAR(wh, 0.3f, 1e-6f);
    EXPECT_NEAR(ws, 0.7f, 1e-6f);
}

TEST(PixelHelpers, RemainderMatchesFmodToTheLastBit) {
    cv::RNG rng(5);
    std::vector<float> values = {0.0f, -0.0f, 1.0f, 2.0f, 4.0f, 5.9999995f, 6.0f, 11.999999f, 12.0f, 18.0f,
                                 -6.0f, -5.9999995f, 1e-30f, -1e-30f, 1e30f, std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()};
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
