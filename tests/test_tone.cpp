// Tone, curve and colour stages driven directly on small working images.

#include "support/stage_images.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <vector>

using vornalix::EditParams;
using vornalix::Pipeline;
using namespace test_images;

namespace {

constexpr float kTol = 1e-4f;

using Points = std::vector<std::pair<float, float>>;

// `stage` with `p` on one pixel of colour `rgb`.
cv::Vec3f coloured(Stage stage, const EditParams& p, cv::Vec3f rgb) { return rgb_at(run_stage(stage, working_row({rgb}), p), 0); }

std::vector<float> lut_of(const Points& pts) {
    std::vector<float> lut(7, 0.5f);  // a stale table of the wrong size
    Pipeline::build_lut(vornalix::CurvePoints{pts}, lut);
    return lut;
}

float at(const std::vector<float>& lut, float x) { return lut[static_cast<int>(x * 65535.0f + 0.5f)]; }

// Every channel combination of a coarse grid, 0 and 1 included.
cv::Mat varied_image() {
    cv::Mat m(9, 27, CV_32FC4);
    m.forEach<cv::Vec4f>([](cv::Vec4f& v, const int* at) {
        const int y = at[0], x = at[1];
        v = {(x % 3) / 2.0f * (y + 1) / 9, ((x / 3) % 3) / 2.0f, ((x / 9) % 3) / 2.0f * (9 - y) / 9, 1};
    });
    return m;
}

}  // namespace

TEST(ToneWhiteBalance, KeepsTheReddestLimitAndSkipsNearNeutral) {
    const Stage wb = &Pipeline::apply_white_balance;
    // The fit is already pure red below about 500 K; 0 K and below continue it
    // instead of taking the logarithm of zero or a negative number.
    for (float kelvin : {400.0f, 0.0f, -FLT_MAX})
        EXPECT_RGB_NEAR(rgb_at(run_stage(wb, grey_row({0.5f}), {{&EditParams::temperature, kelvin}}), 0), 0.5f, 0, 0, 0)
            << kelvin;
    // Near neutral the stage is skipped; a kelvin further it is not.
    const cv::Mat original = varied_image();
    for (float kelvin : {6500.5f, 6501.0f})
        EXPECT_EQ(identical(run_stage(wb, original, {{&EditParams::temperature, kelvin}, {&EditParams::tint, 0.05f}}), original),
                  kelvin == 6500.5f);
}

// 2^128 overflows to infinity, and 0 * infinity would be NaN; with blacks 100,
// whites -500 puts the white point on the black point 0.1 (divisor 0), and
// beyond, the negative divisor would invert the picture. Both become a step.
TEST(ToneExposureWhites, OverflowAndCollapsedRangeGiveAStep) {
    struct Case { Stage stage; float EditParams::*field; float value, dark, light; };
    for (const Case& c : {Case{&Pipeline::apply_exposure, &EditParams::exposure, 128.0f, 0.0f, 1e-6f},
                          Case{&Pipeline::apply_exposure, &EditParams::exposure, FLT_MAX, 0.0f, 1e-6f},
                          Case{&Pipeline::apply_whites_blacks, &EditParams::whites, -500.0f, 0.1f, 0.3f},
                          Case{&Pipeline::apply_whites_blacks, &EditParams::whites, -FLT_MAX, 0.1f, 0.3f}}) {
        const cv::Mat img = run_stage(c.stage, grey_row({c.dark, c.light}), {{c.field, c.value}, {&EditParams::blacks, 100}});
        EXPECT_RGB_NEAR(rgb_at(img, 0), 0.0f, 0.0f, 0.0f, 0.0f) << c.value;
        EXPECT_RGB_NEAR(rgb_at(img, 1), 1.0f, 1.0f, 1.0f, 0.0f) << c.value;
    }
}

TEST(ToneBrightness, PowerCurveKeepsEndsAndClampsItsExponent) {
    // -200 divides by zero, below it the divisor turns negative: both take the
    // strongest darkening (exponent 10) rather than jumping to the brightest.
    for (auto [value, out] : {std::pair{100.0f, 0.39685f}, {-200.0f, 9.5367e-7f}, {-300.0f, 9.5367e-7f}, {1e30f, 0.87055f}}) {
        const cv::Mat img = run_stage(&Pipeline::apply_brightness, grey_row({0.0f, 0.25f, 1.0f}), {{&EditParams::brightness, value}});
        EXPECT_NEAR(rgb_at(img, 0)[0], 0.0f, value == 1e30f ? 2e-4f : kTol) << value;  // cv::pow's log floor
        EXPECT_NEAR(rgb_at(img, 1)[1], out, kTol) << value;
        EXPECT_EQ(rgb_at(img, 2)[2], 1.0f) << value;
    }
}

TEST(ToneHighlightsShadows, NegativeShadowsDeepenNearBlackToo) {
    // At shadows -100 the exponent's divisor is zero near L = 0.063 and negative
    // below; such pixels get the strongest deepening (exponent 3), not a lift.
    const cv::Mat img = run_stage(&Pipeline::apply_highlights_shadows, grey_row({0.0039f, 0.03f, 0.063f}),
                                  {{&EditParams::shadows, -100.0f}});
    EXPECT_NEAR(rgb_at(img, 0)[0], std::pow(0.0039f, 3.0f), 1e-9f);
    EXPECT_NEAR(rgb_at(img, 1)[0], std::pow(0.03f, 3.0f), 1e-7f);
    EXPECT_LT(rgb_at(img, 2)[0], 0.0039f);
}

TEST(ToneContrast, SoftSCurveTables) {
    // 100 is pinned by the whole render; -500 holds the slope at 0.2.
    const cv::Mat img = run_stage(&Pipeline::apply_contrast, grey_row({0.0f, 0.25f, 0.5f}), {{&EditParams::contrast, -500}});
    EXPECT_RGB_NEAR(cv::Vec3f(rgb_at(img, 0)[0], rgb_at(img, 1)[0], rgb_at(img, 2)[0]), 0.40385f, 0.45098f, 0.5f, kTol);
    EXPECT_NEAR(rgb_at(run_stage(&Pipeline::apply_contrast, grey_row({0.0f}), {{&EditParams::contrast, 0.001f}}), 0)[0],
                0.08333f, kTol);
}

TEST(ToneCurveTable, FlatEndsOvershootTooFewPointsAndAMillion) {
    const auto one = lut_of({{0.3f, 0.9f}});
    ASSERT_EQ(one.size(), 65536u);
    EXPECT_EQ(one[32768], 32768.0f / 65535.0f);
    EXPECT_EQ(at(lut_of({{0.0f, 0.0f}, {0.5f, 1.0f}, {1.0f, 1.0f}}), 0.75f), 1.0f);  // the spline reaches 1.0625
    EXPECT_EQ(at(lut_of({{0.2f, 0.3f}, {0.8f, 0.6f}}), 0.1f), 0.3f);
    // A zero-width first segment gives the y of its left point; points out of
    // order are used as stored: 0.7 lies in the last segment, from (0.4, 0.2)
    // with (0.6, 0.8) before it.
    EXPECT_EQ(lut_of({{0.0f, 0.3f}, {0.0f, 0.7f}, {1.0f, 1.0f}})[0], 0.3f);
    EXPECT_NEAR(at(lut_of({{0.0f, 0.0f}, {0.6f, 0.8f}, {0.4f, 0.2f}, {1.0f, 1.0f}}), 0.7f), 0.5625f, kTol);
    // A million points build in one sweep; a search per entry would cost 65,536 x 1,000,000 steps on every render.
    Points many(1000000);
    for (size_t j = 0; j < many.size(); ++j) many[j] = {j / 999999.0f, 1.0f - j / 999999.0f};
    EXPECT_NEAR(at(lut_of(many), 0.25f), 0.75f, kTol);
}

TEST(ToneCurveTable, NonFinitePointsGiveNumbers) {
    for (const Points& pts : {Points{{0.0f, 0.0f}, {kNaN, 0.5f}}, Points{{0.0f, kInf}, {1.0f, -kInf}},
                              Points{{-kInf, 0.2f}, {0.5f, 0.5f}, {kInf, 0.9f}}})
        EXPECT_TRUE(cv::checkRange(lut_of(pts), true, nullptr, 0.0, std::nextafter(1.0f, 2.0f)));
    // Where a NaN point enters the spline the entries are 0.
    EXPECT_EQ(at(lut_of({{0.0f, 0.0f}, {0.5f, kNaN}, {1.0f, 1.0f}}), 0.25f), 0.0f);
}

TEST(ToneCurveStage, OutOfRangeAndNaNReadTheEndEntries) {
    EditParams p;
    p.curves[0].points = {{0.0f, 0.2f}, {1.0f, 0.8f}};
    const cv::Mat img = run_stage(&Pipeline::apply_tone_curves, working_row({{0.25f, 0.5f, 1.0f}, {1.7f, -0.2f, kNaN}}), p);
    // Above 1 reads the last entry, below 0 and NaN the first.
    EXPECT_RGB_NEAR(rgb_at(img, 1), 0.8f, 0.2f, 0.2f, kTol);
    p = EditParams{};  // an empty curve and a single point change nothing
    p.curves[1].points.clear(), p.curves[2].points = {{0.3f, 0.9f}};
    EXPECT_TRUE(identical(run_stage(&Pipeline::apply_tone_curves, varied_image(), p), varied_image()));
}

// Saturation clamps; hue shifts beyond -720 degrees still wrap (-1000 is +80);
// lightness 1 stays white under split toning, and the shadow hue enters the
// target through the shadow weight even at saturation 0 (hue 0.0729, s 0.15).
TEST(ColourStages, ClampWrapAndToningEdges) {
    EditParams p;
    p.saturation = 100;
    EXPECT_RGB_NEAR(coloured(&Pipeline::apply_saturation_vibrance, p, {0.9f, 0.1f, 0.5f}), 1.0f, 0.0f, 0.70104f, kTol);
    p.hsl[0].hue = -1000.0f;
    EXPECT_RGB_NEAR(coloured(&Pipeline::apply_hsl, p, {1.0f, 0.0f, 0.0f}), 2.0f / 3.0f, 1.0f, 0.0f, kTol);
    p = EditParams{};
    p.split_highlight_hue = 30.0f;
    p.split_highlight_saturation = 100.0f;
    EXPECT_RGB_NEAR(coloured(&Pipeline::apply_split_toning, p, {1.0f, 1.0f, 1.0f}), 1.0f, 1.0f, 1.0f, kTol);
    p.split_shadow_hue = 180.0f;
    EXPECT_RGB_NEAR(coloured(&Pipeline::apply_split_toning, p, {0.5f, 0.5f, 0.5f}), 0.575f, 0.490625f, 0.425f, kTol);
}

TEST(PixelHelpers, RemainderMatchesFmodToTheLastBit) {
    cv::RNG rng(5);
    std::vector<float> values = {0.0f, -0.0f, 2.0f, 5.9999995f, 6.0f, 11.999999f, -5.9999995f, 1e-30f, 1e30f, kInf, kNaN};
    for (int i = 0; i < 20000; ++i) values.push_back(rng.uniform(-25.0f, 25.0f));
    for (float m : {2.0f, 6.0f})
        for (float x : values) {
            const float expected = std::fmod(x, m), got = vornalix::pixel::fmod_near(x, m);
            EXPECT_TRUE(std::memcmp(&expected, &got, sizeof got) == 0 || (std::isnan(expected) && std::isnan(got)))
                << x << " mod " << m;
        }
}
