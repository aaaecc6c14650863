// The pipeline's stages driven directly on small working images: tone,
// curves and colour; lens, detail, local contrast and finishing; geometry; and
// every stage's answer to neutral, non-finite and extreme settings.

#include "pipeline/detail_math.h"
#include "pipeline/geometry_math.h"
#include "pipeline/geometry_warp.h"
#include "lens/lens_profile.h"
#include "pipeline/lens_math.h"
#include "pipeline/plane_math.h"
#include "support/stage_images.h"

#include <gtest/gtest.h>
#include <lensfun.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cfloat>
#include <climits>
#include <tuple>
#include <vector>

using E = vornalix::EditParams;
using P = vornalix::Pipeline;
using namespace test_images;

namespace {

constexpr float kTol = 1e-4f;

using Points = std::vector<std::pair<float, float>>;

// `stage` with `p` on one pixel of colour `rgb`.
cv::Vec3f coloured(Stage stage, const E& p, cv::Vec3f rgb) { return rgb_at(run_stage(stage, working_row({rgb}), p), 0); }

std::vector<float> lut_of(const Points& pts) {
    std::vector<float> lut(7, 0.5f);  // a stale table of the wrong size
    P::build_lut(vornalix::CurvePoints{pts}, lut);
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

cv::Mat noise_reduced(const cv::Mat& in, float luminance, float color) {
    return run_stage(&P::apply_noise_reduction, in, {{&E::nr_luminance, luminance}, {&E::nr_color, color}});
}

cv::Mat sharpened(const cv::Mat& in, float amount, float threshold) {
    return run_stage(&P::apply_sharpening, in, {{&E::sharpening_amount, amount}, {&E::sharpening_threshold, threshold}});
}

// Half-width of the square around the centre where `out` differs from `reference`
// (-1 when nothing differs).
int changed_reach(const cv::Mat& out, const cv::Mat& reference) {
    int reach = -1;
    for (int y = 0; y < out.rows; ++y)
        for (int x = 0; x < out.cols; ++x)
            if (out.at<cv::Vec4f>(y, x) != reference.at<cv::Vec4f>(y, x))
                reach = std::max({reach, std::abs(x - out.cols / 2), std::abs(y - out.rows / 2)});
    return reach;
}

cv::Mat corrected(const cv::Mat& in, float distortion, float ca, float vignette, float defringe) {
    return run_stage(&P::apply_lens_corrections, in, {{&E::distortion, distortion}, {&E::ca_correction, ca},
                                                      {&E::lens_vignette, vignette}, {&E::defringe, defringe}});
}

cv::Vec4f defringed(cv::Vec3f rgb, float amount) {
    return corrected(flat(1, 1, {rgb[0], rgb[1], rgb[2], 0.7f}), 0, 0, 0, amount).at<cv::Vec4f>(0, 0);
}

cv::Mat vignetted(const cv::Mat& in, float amount, float midpoint, float roundness) {
    return run_stage(&P::apply_vignette, in, {{&E::vignette_amount, amount}, {&E::vignette_midpoint, midpoint},
                                              {&E::vignette_roundness, roundness}});
}

// Worst distance, over the rows, of each bright vertical line's centroid
// from where it lies on the middle row (lines 12 px or more from the sides).
float worst_bend(const cv::Mat& plane) {
    constexpr int kReach = 10;
    const auto centroid = [&](int y, int x) {
        const cv::Moments m = cv::moments(plane(cv::Rect(x - kReach, y, 2 * kReach + 1, 1)));
        return static_cast<float>(m.m10 / m.m00) + x - kReach;
    };
    const float* mid = plane.ptr<float>(plane.rows / 2);
    float worst = 0.0f;
    for (int x = kReach + 2; x < plane.cols - kReach - 2; ++x)
        for (int y = 0; y < plane.rows && mid[x] > 0.5f && mid[x] >= mid[x - 1] && mid[x] > mid[x + 1]; ++y)
            worst = std::max(worst, std::fabs(centroid(y, x) - centroid(plane.rows / 2, x)));
    return worst;
}

cv::Mat transformed(const cv::Mat& in, const E& e) { return run_stage(&P::apply_geometry, in, e); }

E cropped(float x, float y, float w, float h) {
    E e;
    std::tie(e.crop_x, e.crop_y, e.crop_w, e.crop_h) = std::tie(x, y, w, h);
    return e;
}

// Every float setting of the stages beside the stage that reads it, with a
// value that leaves it idle (NaN: no finite value does).
struct Slider { Stage stage; float* field; float neutral; };
std::vector<Slider> sliders(E& e) {
    const Stage wb = &P::apply_white_balance, hs = &P::apply_highlights_shadows, wbl = &P::apply_whites_blacks,
                sv = &P::apply_saturation_vibrance, split = &P::apply_split_toning, lens = &P::apply_lens_corrections,
                nr = &P::apply_noise_reduction, sharp = &P::apply_sharpening, vig = &P::apply_vignette;
    return {{wb, &e.temperature, 6500}, {wb, &e.tint, 0}, {&P::apply_exposure, &e.exposure, 0},
            {&P::apply_brightness, &e.brightness, 0}, {hs, &e.highlights, 0}, {hs, &e.shadows, 0},
            {wbl, &e.whites, 0}, {wbl, &e.blacks, 0}, {&P::apply_contrast, &e.contrast, 0}, {sv, &e.saturation, 0},
            {sv, &e.vibrance, 0}, {&P::apply_hsl, &e.hsl[0].hue, 0}, {&P::apply_hsl, &e.hsl[1].saturation, 0},
            {&P::apply_hsl, &e.hsl[2].luminance, 0}, {split, &e.split_highlight_hue, 0},
            {split, &e.split_highlight_saturation, 0}, {split, &e.split_shadow_hue, 0},
            {split, &e.split_shadow_saturation, 0}, {split, &e.split_balance, 0}, {lens, &e.distortion, 0},
            {lens, &e.ca_correction, -10}, {lens, &e.lens_vignette, -20}, {lens, &e.defringe, -30},
            {nr, &e.nr_luminance, kNaN}, {nr, &e.nr_color, kNaN}, {sharp, &e.sharpening_amount, -20},
            {sharp, &e.sharpening_radius, -1}, {sharp, &e.sharpening_threshold, kNaN},
            {&P::apply_clarity_texture, &e.clarity, 0}, {&P::apply_clarity_texture, &e.texture, kNaN},
            {&P::apply_dehaze, &e.dehaze, -50}, {vig, &e.vignette_amount, 0}, {vig, &e.vignette_midpoint, kNaN},
            {vig, &e.vignette_roundness, kNaN}, {&P::apply_grain, &e.grain_amount, -10}, {&P::apply_grain, &e.grain_size, kNaN}};
}

}  // namespace

TEST(ToneWhiteBalanceExposureWhites, ReddestLimitNearNeutralOverflowAndCollapsedRange) {
    const Stage wb = &P::apply_white_balance;
    // The fit is already pure red below about 500 K; 0 K and below continue it
    // instead of taking the logarithm of zero or a negative number.
    for (float kelvin : {400.0f, 0.0f, -FLT_MAX})
        EXPECT_RGB_NEAR(rgb_at(run_stage(wb, grey_row({0.5f}), {{&E::temperature, kelvin}}), 0), 0.5f, 0, 0, 0)
            << kelvin;
    // Near neutral the stage is skipped; a kelvin further it is not.
    const cv::Mat original = varied_image();
    for (float kelvin : {6500.5f, 6501.0f})
        EXPECT_EQ(identical(run_stage(wb, original, {{&E::temperature, kelvin}, {&E::tint, 0.05f}}), original),
                  kelvin == 6500.5f);

    // 2^128 overflows to infinity, and 0 * infinity would be NaN; with blacks 100,
    // whites -500 puts the white point on the black point 0.1 (divisor 0), and
    // beyond, the negative divisor would invert the picture. Both become a step.
    struct Case { Stage stage; float E::*field; float value, dark, light; };
    for (const Case& c : {Case{&P::apply_exposure, &E::exposure, 128.0f, 0.0f, 1e-6f},
                          Case{&P::apply_exposure, &E::exposure, FLT_MAX, 0.0f, 1e-6f},
                          Case{&P::apply_whites_blacks, &E::whites, -500.0f, 0.1f, 0.3f},
                          Case{&P::apply_whites_blacks, &E::whites, -FLT_MAX, 0.1f, 0.3f}}) {
        const cv::Mat img = run_stage(c.stage, grey_row({c.dark, c.light}), {{c.field, c.value}, {&E::blacks, 100}});
        EXPECT_RGB_NEAR(rgb_at(img, 0), 0.0f, 0.0f, 0.0f, 0.0f) << c.value;
        EXPECT_RGB_NEAR(rgb_at(img, 1), 1.0f, 1.0f, 1.0f, 0.0f) << c.value;
    }
}

// Brightness: -200 divides by zero, below it the divisor turns negative: both
// take the strongest darkening (exponent 10) rather than jumping to the
// brightest. Shadows: at -100 the exponent's divisor is zero near L = 0.063 and
// negative below; such pixels get the strongest deepening (exponent 3), not a
// lift. Contrast: 100 is pinned by the whole render; -500 holds the slope at 0.2.
TEST(ToneSliders, BrightnessShadowsAndContrastAtTheirEdges) {
    for (auto [value, out] : {std::pair{100.0f, 0.39685f}, {-200.0f, 9.5367e-7f}, {-300.0f, 9.5367e-7f}, {1e30f, 0.87055f}}) {
        const cv::Mat img = run_stage(&P::apply_brightness, grey_row({0.0f, 0.25f, 1.0f}), {{&E::brightness, value}});
        EXPECT_NEAR(rgb_at(img, 0)[0], 0.0f, value == 1e30f ? 2e-4f : kTol) << value;  // cv::pow's log floor
        EXPECT_NEAR(rgb_at(img, 1)[1], out, kTol) << value;
        EXPECT_EQ(rgb_at(img, 2)[2], 1.0f) << value;
    }
    cv::Mat img = run_stage(&P::apply_highlights_shadows, grey_row({0.0039f, 0.03f, 0.063f}),
                                  {{&E::shadows, -100.0f}});
    EXPECT_NEAR(rgb_at(img, 0)[0], std::pow(0.0039f, 3.0f), 1e-9f);
    EXPECT_NEAR(rgb_at(img, 1)[0], std::pow(0.03f, 3.0f), 1e-7f);
    EXPECT_LT(rgb_at(img, 2)[0], 0.0039f);
    img = run_stage(&P::apply_contrast, grey_row({0.0f, 0.25f, 0.5f}), {{&E::contrast, -500}});
    EXPECT_RGB_NEAR(cv::Vec3f(rgb_at(img, 0)[0], rgb_at(img, 1)[0], rgb_at(img, 2)[0]), 0.40385f, 0.45098f, 0.5f, kTol);
    EXPECT_NEAR(rgb_at(run_stage(&P::apply_contrast, grey_row({0.0f}), {{&E::contrast, 0.001f}}), 0)[0],
                0.08333f, kTol);
}

TEST(ToneCurves, TableEndsOrderNonFinitePointsAMillionAndTheStage) {
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
    // Non-finite points give numbers; where a NaN point enters the spline the entries are 0.
    for (const Points& pts : {Points{{0.0f, 0.0f}, {kNaN, 0.5f}}, Points{{0.0f, kInf}, {1.0f, -kInf}},
                              Points{{-kInf, 0.2f}, {0.5f, 0.5f}, {kInf, 0.9f}}})
        EXPECT_TRUE(cv::checkRange(lut_of(pts), true, nullptr, 0.0, std::nextafter(1.0f, 2.0f)));
    EXPECT_EQ(at(lut_of({{0.0f, 0.0f}, {0.5f, kNaN}, {1.0f, 1.0f}}), 0.25f), 0.0f);

    E p;
    p.curves[0].points = {{0.0f, 0.2f}, {1.0f, 0.8f}};
    const cv::Mat img = run_stage(&P::apply_tone_curves, working_row({{0.25f, 0.5f, 1.0f}, {1.7f, -0.2f, kNaN}}), p);
    // Above 1 reads the last entry, below 0 and NaN the first.
    EXPECT_RGB_NEAR(rgb_at(img, 1), 0.8f, 0.2f, 0.2f, kTol);
    p = E{};  // an empty curve and a single point change nothing
    p.curves[1].points.clear(), p.curves[2].points = {{0.3f, 0.9f}};
    EXPECT_TRUE(identical(run_stage(&P::apply_tone_curves, varied_image(), p), varied_image()));
    // A pipeline keeps its tables while the curves stay: a changed curve, and
    // a change back, render as in a fresh pipeline.
    P kept;
    for (float lift : {0.2f, 0.3f, 0.2f}) {
        p.curves[2].points = {{0.0f, lift}, {1.0f, 1.0f}};
        cv::Mat m = varied_image();
        kept.apply_tone_curves(m, p);
        EXPECT_TRUE(identical(m, run_stage(&P::apply_tone_curves, varied_image(), p))) << lift;
    }
}

// Saturation clamps; hue shifts beyond -720 degrees still wrap (-1000 is +80);
// lightness 1 stays white under split toning, and the shadow hue enters the
// target through the shadow weight even at saturation 0 (hue 0.0729, s 0.15).
TEST(ColourStages, ClampWrapToningEdgesAndAHueRemainderExactToTheLastBit) {
    E p;
    p.saturation = 100;
    EXPECT_RGB_NEAR(coloured(&P::apply_saturation_vibrance, p, {0.9f, 0.1f, 0.5f}), 1.0f, 0.0f, 0.70104f, kTol);
    p.hsl[0].hue = -1000.0f;
    EXPECT_RGB_NEAR(coloured(&P::apply_hsl, p, {1.0f, 0.0f, 0.0f}), 2.0f / 3.0f, 1.0f, 0.0f, kTol);
    p = E{};
    p.split_highlight_hue = 30.0f;
    p.split_highlight_saturation = 100.0f;
    EXPECT_RGB_NEAR(coloured(&P::apply_split_toning, p, {1.0f, 1.0f, 1.0f}), 1.0f, 1.0f, 1.0f, kTol);
    p.split_shadow_hue = 180.0f;
    EXPECT_RGB_NEAR(coloured(&P::apply_split_toning, p, {0.5f, 0.5f, 0.5f}), 0.575f, 0.490625f, 0.425f, kTol);

    // The hue remainder matches fmod to the last bit.
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

// Four lanes convert to HSL and back exactly as one pixel does, for colours in
// and beyond 0..1. One pixel's hue beyond a turn wraps; a negative one takes
// the last sector, (c, 0, x), with x below 0.
TEST(ColourStages, HslRoundTripOfFourLanesIsThePixelsOwnAndOddHuesFollowTheSectorRule) {
    namespace px = vornalix::pixel;
    cv::RNG rng(11);
    for (int i = 0; i < 4000; ++i) {
        float in[3][4], out[3][4];
        for (auto& channel : in)
            for (float& v : channel) v = rng.uniform(-0.2f, 1.2f);
        px::HslOf<vornalix::lanes::V> hsl;
        px::rgb_to_hsl(cv::v_load(in[0]), cv::v_load(in[1]), cv::v_load(in[2]), 1e-7f, hsl);
        vornalix::lanes::V back[3];
        px::hsl_to_rgb(hsl, back[0], back[1], back[2]);
        for (int c = 0; c < 3; ++c) cv::v_store(out[c], back[c]);
        for (int lane = 0; lane < 4; ++lane) {
            const cv::Vec3f h = hsl_of({in[0][lane], in[1][lane], in[2][lane]});
            EXPECT_EQ(cv::Vec3f(out[0][lane], out[1][lane], out[2][lane]), rgb_of_hsl(h[0], h[1], h[2])) << i;
        }
    }
    EXPECT_RGB_NEAR(rgb_of_hsl(1.0f + 1.0f / 6, 1.0f, 0.5f), 1.0f, 1.0f, 0.0f, kTol);
    EXPECT_RGB_NEAR(rgb_of_hsl(-0.25f, 1.0f, 0.5f), 1.0f, 0.0f, 0.0f, kTol);
}

// Each setting, the others neutral but for each stage's main slider (so a
// secondary setting has work): a neutral, negative or non-finite value leaves
// the image untouched (out-of-range input shows that not even the clamp runs;
// a tone setting counts as neutral, a detail stage is skipped instead of
// failing the render). An extreme or non-finite one, alone or with all the
// others at 80, gives a finite image of the same size and alpha, clamped by
// every stage but noise reduction; the tone and colour stages take colours
// inside 0..1.
TEST(StageSettings, NeutralAndNonFiniteValuesAreSkippedExtremeOnesStayInRange) {
    E active, busy;
    active.temperature = 6500;
    active.nr_luminance = active.nr_color = 30;
    active.sharpening_amount = active.clarity = active.vignette_amount = active.grain_amount = 50;
    for (const Slider& s : sliders(busy)) *s.field = 80;
    const Stage local[] = {&P::apply_noise_reduction, &P::apply_sharpening, &P::apply_clarity_texture,
                           &P::apply_dehaze, &P::apply_vignette, &P::apply_grain};
    cv::Mat wide = noise(9, 11, -0.5f, 1.5f), unit = noise(8, 6);
    wide.reshape(1, 99).col(3).setTo(0.5f);
    unit.reshape(1, 48).col(3).setTo(0.5f);
    for (size_t i = 0; i < sliders(active).size(); ++i) {
        E e = active;
        const Slider s = sliders(e)[i];
        for (float v : {s.neutral, kNaN, kInf, -kInf}) {
            *s.field = v;
            EXPECT_TRUE(identical(run_stage(s.stage, wide, e), wide)) << i << ": " << v;
        }
        EXPECT_TRUE(run_stage(s.stage, cv::Mat(0, 0, CV_32FC4), busy).empty());
        for (const E& base : {active, busy})
            for (float v : {-FLT_MAX, -1e6f, -200.0f, 1e6f, FLT_MAX, kNaN, kInf, -kInf}) {
                e = base;
                *sliders(e)[i].field = v;
                // Acting, a local stage also clamps what came in out of range.
                const bool clamps = v > 0 && v < kInf && std::count(std::begin(local), std::end(local), s.stage);
                const cv::Mat& in = clamps ? wide : unit;
                const cv::Mat out = run_stage(s.stage, in, e);
                ASSERT_EQ(out.size(), in.size());
                EXPECT_TRUE(s.stage == Stage{&P::apply_noise_reduction} ? all_finite(out) : bool(colours_in_unit_range(out)))
                    << i << ": " << v;
                EXPECT_TRUE(identical(channel(out, 3), channel(in, 3))) << i << ": " << v;
            }
    }
}

TEST(DetailStages, NoiseReductionKernelsSharpeningThresholdAndDehaze) {
    // A bright pixel on flat grey: the stage changes exactly the kernel's reach around it.
    const cv::Mat grey = flat(31, 31, {0.5f, 0.4f, 0.3f, 1});
    cv::Mat spot = grey.clone();
    spot.at<cv::Vec4f>(15, 15) = {0.9f, 0.8f, 0.7f, 1};
    for (auto [luminance, colour, reach] : {std::tuple{19.9f, 0.0f, 1}, {20.0f, 0.0f, 2}, {100.0f, 0.0f, 6},
                                           {0.0f, 24.9f, 1}, {0.0f, 25.0f, 2}})
        EXPECT_EQ(changed_reach(noise_reduced(spot, luminance, colour), noise_reduced(grey, luminance, colour)), reach)
            << luminance << " " << colour;
    // Huge sliders stop near twice the long side.
    namespace sm = vornalix::stage_math;
    EXPECT_EQ(sm::slider_kernel_size(3e38f, 4.0f, sm::max_kernel_size(cv::Size(12, 7))), 25);
    // Luminance smoothing keeps black and does not clamp.
    cv::Mat in = noise(9, 9, 0.2f, 0.8f);
    in.at<cv::Vec4f>(0, 0) = {0, 0, 0, 0.4f};
    EXPECT_EQ(noise_reduced(in, 100, 0).at<cv::Vec4f>(0, 0), cv::Vec4f(0, 0, 0, 0.4f));
    EXPECT_NEAR(noise_reduced(flat(5, 5, {1.2f, 1.2f, 1.2f, 1}), 100, 0).at<cv::Vec4f>(2, 2)[0], 1.2f, 1e-5);

    // Sharpening: detail everywhere is smaller than the 0.2 step, so a threshold of 0.2 keeps the image.
    cv::Mat bump = flat(15, 15, {0.5f, 0.5f, 0.5f, 0.6f});
    bump.at<cv::Vec4f>(7, 7) = {0.7f, 0.6f, 0.5f, 0.6f};
    EXPECT_LT(cv::norm(sharpened(bump, 150, 0.2f * 65535), bump, cv::NORM_INF), 1e-6);
    // t = 1 amplifies nothing inside 0..1 but still clamps values outside it.
    const cv::Mat wide = noise(9, 9, -0.5f, 1.5f);  // alpha is 1
    EXPECT_TRUE(identical(sharpened(wide, 40, 65535), cv::max(cv::min(wide, 1.0), 0.0)));

    // Dehaze: an odd patch of 2 % of the width.
    for (auto [width, patch] : {std::pair{150, 3}, {200, 5}, {6000, 121}})
        EXPECT_EQ(vornalix::stage_math::odd_patch_size(width, 0.02f, 3, INT_MAX), patch) << width;
    // The dark channel spreads a dark pixel over the patch; the border never wins.
    cv::Mat light(7, 7, CV_32F, cv::Scalar(0.8f)), dip = light.clone();
    dip.at<float>(3, 3) = 0.1f;
    const cv::Mat dark = vornalix::stage_math::dark_channel({light, dip, light}, 5);
    EXPECT_EQ(cv::Vec2f(cv::countNonZero(dark < 0.5f), dark.at<float>(0, 0)), cv::Vec2f(25, 0.8f));
    // It is the square erosion, for patches narrower and wider than the plane.
    for (auto [size, patch] : {std::pair{cv::Size(300, 7), 41}, {cv::Size(9, 260), 5}, {cv::Size(37, 23), 1}}) {
        cv::Mat plane(size, CV_32F), eroded;
        cv::randu(plane, 0.0f, 1.0f);
        cv::erode(plane, eroded, cv::Mat::ones(patch, patch, CV_8U), {-1, -1}, 1, cv::BORDER_CONSTANT,
                  cv::morphologyDefaultBorderValue());
        EXPECT_TRUE(identical(vornalix::stage_math::dark_channel({plane, plane, plane}, patch), eroded)) << patch;
    }
    // Uniform grey is its own light and stays.
    const cv::Mat haze = flat(12, 12, {0.5f, 0.5f, 0.5f, 1});
    EXPECT_LT(cv::norm(run_stage(&P::apply_dehaze, haze, {{&E::dehaze, 100}}), haze, cv::NORM_INF), 1e-6);
    // The pyramid blur stands in for the full-size one, on rough noise, on sizes
    // that do not halve evenly and on one narrower than its reflected border.
    for (auto [size, sigma] : {std::pair{cv::Size(301, 203), 20.0}, {cv::Size(157, 83), 5.0}, {cv::Size(7, 40), 12.0}}) {
        cv::Mat plane(size, CV_32F), wide, full;
        cv::randu(plane, 0.0f, 1.0f);
        vornalix::stage_math::wide_gaussian_blur(plane, wide, sigma);
        vornalix::stage_math::gaussian_blur(plane, full, cv::Size(), sigma);
        EXPECT_LT(cv::norm(wide, full, cv::NORM_INF), 1e-4) << size << " sigma " << sigma;
    }
}

TEST(LensCorrections, DistortionCaPlanesAndTheDefringeWindow) {
    // 40 x 20: centre (20, 10), radius normalised by 20.
    const cv::Mat ramp = coordinates(20, 40, 1.0f / 64);  // R = column / 64, G = row / 64
    EXPECT_FLOAT_EQ(corrected(ramp, 100, 0, 0, 0).at<cv::Vec4f>(10, 0)[0] * 64, 10.0f);  // radius 1 samples 0.5
    // Pincushion reads beyond the frame: reflected pixels, no black border.
    EXPECT_GT(cv::countNonZero(channel(corrected(ramp, -100, 0, 0, 0), 2) == 0.5f), 799);
    // Chromatic aberration: a plane one pixel off is padded, not cut; wider but shorter: columns
    // cropped from the centre, rows padded about it.
    cv::Mat plane(2, 1003, CV_32F);
    for (int x = 0; x < plane.cols; ++x) plane.col(x).setTo(x);
    vornalix::stage_math::fit_channel_to_size(plane, cv::Size(1000, 4));
    ASSERT_EQ(plane.size(), cv::Size(1000, 4));
    EXPECT_EQ(plane.at<float>(1, 0), 1.0f);
    EXPECT_EQ(cv::countNonZero(plane.row(0)) + cv::countNonZero(plane.row(3)), 0);
    const cv::Mat odd = corrected(flat(2, 2000, {1, 1, 1, 1}), 0, 10, 0, 0);  // blue 1999 wide
    EXPECT_EQ(cv::Vec2f(odd.at<cv::Vec4f>(0, 1998)[2], odd.at<cv::Vec4f>(0, 1999)[2]), cv::Vec2f(1, 0));
    // Red and blue as OpenCV resizes their planes and the fit brings them back, to the bit
    // (a plane that rounds to its own size is left as it is).
    for (auto [rows, cols, amount] : {std::tuple{83, 157, 100.0f}, {200, 300, 30.0f}, {7, 1000, 60.0f}, {3, 2, 1e4f}}) {
        const cv::Mat in = noise(rows, cols), out = corrected(in, 0, amount, 0, 0);
        for (int c : {0, 2}) {
            const double factor = 1.0f + (c == 0 ? 1 : -1) * std::min(amount / 100.0f * 0.003f, 0.99f);
            cv::Mat plane = channel(in, c);
            cv::resize(plane, plane, cv::Size(), factor, factor, cv::INTER_LINEAR);
            vornalix::stage_math::fit_channel_to_size(plane, in.size());
            EXPECT_TRUE(identical(channel(out, c), plane)) << cols << " " << c;
        }
    }

    // Defringe: inside the window edges (0.25 and 0.4, exclusive) hues move; outside they stay.
    for (float h : {0.26f, 0.39f, 0.2f, 0.45f, 0.86f})
        EXPECT_EQ(defringed(rgb_of_hsl(h, 0.8f, 0.5f), 100)[0] != rgb_of_hsl(h, 0.8f, 0.5f)[0], h > 0.25f && h < 0.4f) << h;
    // Saturation threshold: at 1 only pixels above S = 0.495 count (S = 0.2 stays, 0.6 moves);
    // max + min = 2: the HSL saturation's denominator is 0; such a pixel is no fringe.
    for (auto [rgb, amount, moves] : {std::tuple{cv::Vec3f(0.6f, 0.4f, 0.6f), 1.0f, false}, {{0.8f, 0.2f, 0.8f}, 1.0f, true},
                                      {{1.5f, 0.5f, 1.5f}, 100.0f, false}, {{1.0f, 1.0f, 1.0f}, 100.0f, false}})
        EXPECT_EQ(defringed(rgb, amount) != cv::Vec4f(rgb[0], rgb[1], rgb[2], 0.7f), moves) << rgb;
    EXPECT_TRUE(all_finite(corrected(noise(8, 8, -1.0f, 2.0f), 0, 0, 0, 3.4e38f)));
}

TEST(LensCorrections, ProfileStraightensTheDatabasesOwnDistortion) {
    namespace lens = vornalix::lens;
    const lens::Profile profile({"Canon", "EOS 30D", "EF-S 18-55mm f/3.5-5.6", 22, 22});
    ASSERT_TRUE(profile.found());
    // Lines every 40 px along `axis` (0 vertical, 1 horizontal), drawn where the lens puts them.
    const cv::Size size(600, 400);
    const lens::Match& match = profile.match();
    lfModifier bend(match.lens, match.crop_factor, size.width, size.height);
    bend.Initialize(match.lens, LF_PF_F32, 22, 22, 1000, 1, match.lens->Type, LF_MODIFY_DISTORTION, true);
    const auto grid = [&](int axis) {
        cv::Mat out(size, CV_32FC4), at(size, CV_32FC2);
        bend.ApplyGeometryDistortion(0, 0, size.width, size.height, at.ptr<float>());
        out.forEach<cv::Vec4f>([&](cv::Vec4f& px, const int* p) {
            const float d = std::remainder(at.at<cv::Vec2f>(p[0], p[1])[axis], 40.0f), v = std::exp(-d * d / 4.5f);
            px = {v, v, v, 1};
        });
        return out;
    };
    vornalix::Pipeline unmatched, matched;
    matched.lens_profile = profile;
    E on;
    on.lens_profile = 1;
    for (int axis : {0, 1}) {
        const cv::Mat bent = grid(axis);
        cv::Mat out = bent.clone();
        unmatched.apply_lens_corrections(out, on);
        EXPECT_TRUE(identical(out, bent));
        matched.apply_lens_corrections(out, on);
        const auto green = [axis](const cv::Mat& m) { return axis == 0 ? channel(m, 1) : cv::Mat(channel(m, 1).t()); };
        EXPECT_GT(worst_bend(green(bent)), 1.5f) << axis;
        EXPECT_LE(worst_bend(green(out)), 0.5f) << axis;
    }
    EXPECT_FALSE(lens::Profile({"Canon", "EOS 30D", "Nonesuch 7mm f/0.9", 22, 22}).found());
}

// Distances are elliptical, each axis normalised by its half size: on 40 x 31
// the centre is (20, 15.5), so column 0 of row 15 lies just beyond r = 1.
TEST(FinishingStages, VignetteShapeFollowsMidpointAndRoundnessGrainIsMonochrome) {
    const cv::Mat grey = flat(31, 40, {0.5f, 0.5f, 0.5f, 0.3f});
    const cv::Mat dark = vignetted(grey, 100, 50, 0);
    EXPECT_EQ(dark.at<cv::Vec4f>(11, 20), grey.at<cv::Vec4f>(11, 20));  // r = 0.26 <= 0.5
    EXPECT_EQ(dark.at<cv::Vec4f>(15, 0), cv::Vec4f(0, 0, 0, 0.3f));
    EXPECT_EQ(vignetted(grey, -100, 50, 0).at<cv::Vec4f>(0, 0), cv::Vec4f(1, 1, 1, 0.3f));
    // Midpoint 100: a hard step at r = 1.
    const cv::Mat step = vignetted(grey, 100, 100, 0);
    EXPECT_EQ(cv::Vec2f(step.at<cv::Vec4f>(15, 1)[1], step.at<cv::Vec4f>(2, 3)[1]), cv::Vec2f(0.5f, 0));
    // Roundness -100 follows the rectangle: equal along the column at 0.9 of the
    // width while |dy| <= 0.8, where the round shape varies.
    const cv::Mat box = vignetted(grey, 100, 50, -100);
    EXPECT_EQ(box.at<cv::Vec4f>(4, 36), box.at<cv::Vec4f>(15, 36));
    EXPECT_LE(box.at<cv::Vec4f>(4, 36)[0], 0.5f * (1 - 0.648f) + 1e-6f);  // r >= 0.8: t >= 0.6
    EXPECT_NE(dark.at<cv::Vec4f>(4, 36), dark.at<cv::Vec4f>(15, 36));
    EXPECT_TRUE(identical(vignetted(grey, 60, 30, 0), vignetted(grey, 60, 30, 100)));
    // Column width - x lies as far right of the centre as x lies left of it.
    EXPECT_TRUE(all_finite(vignetted(flat(9, 1, {0.6f, 0.5f, 0.4f, 1.0f}), 80, 20, -30)));
    for (int width : {37, 40, 2}) {
        const cv::Mat v = vignetted(flat(9, width, {0.6f, 0.5f, 0.4f, 1.0f}), 80, 20, -30);
        cv::Mat mirrored;
        cv::flip(v.colRange(1, width), mirrored, 1);
        EXPECT_TRUE(identical(v.colRange(1, width).clone(), mirrored)) << width;
    }

    cv::theRNG().state = 12345;
    // Grain: monochrome noise of the requested deviation.
    const cv::Mat field = flat(96, 96, {0.5f, 0.5f, 0.5f, 0.3f});
    for (float size : {0.0f, 25.0f, 100.0f}) {
        const cv::Mat out = run_stage(&P::apply_grain, field, {{&E::grain_amount, 100}, {&E::grain_size, size}});
        const cv::Mat r = channel(out, 0);
        EXPECT_TRUE(identical(r, channel(out, 1)) && identical(r, channel(out, 2)));
        cv::Scalar mean, deviation;
        cv::meanStdDev(r - 0.5f, mean, deviation);
        EXPECT_LE(cv::norm(cv::Vec2d(mean[0], deviation[0] - 0.05), cv::NORM_INF), 0.005) << size;
    }
}

// The warps of float R, G, B, A images give OpenCV's pixels bit for bit:
// turns, keystones and free maps reaching far past the mirrored borders.
TEST(Geometry, WarpsGiveOpenCvsPixels) {
    namespace warp = vornalix::warp;
    for (cv::Size size : {cv::Size(157, 83), cv::Size(5, 40), cv::Size(1, 3)}) {
        const cv::Mat in = noise(size.height, size.width, -0.5f, 1.5f), at = noise(size.height, size.width, -3, 3, 9);
        for (const cv::Mat& m : {cv::getRotationMatrix2D({size.width * 0.5f, size.height * 0.5f}, 35.0, 1.0),
                                 vornalix::stage_math::perspective_matrix(size, 0.1f * size.width, -0.2f * size.height)}) {
            cv::Mat ours, theirs;
            warp::warp_by_matrix(in, ours, m);
            if (m.rows == 2) cv::warpAffine(in, theirs, m, size, cv::INTER_LINEAR, cv::BORDER_REFLECT);
            if (m.rows == 3) cv::warpPerspective(in, theirs, m, size, cv::INTER_LINEAR, cv::BORDER_REFLECT);
            EXPECT_TRUE(identical(ours, theirs)) << size << m.rows;
        }
        cv::Mat xs = channel(at, 0) * size.width, ys = channel(at, 1) * size.height, ours, theirs;
        cv::remap(in, theirs, xs, ys, cv::INTER_LINEAR, cv::BORDER_REFLECT);
        warp::resample(in, ours, [&](int y, int x0, int* fx, int* fy, int n) {
            warp::to_fixed_point(xs.ptr<float>(y) + x0, ys.ptr<float>(y) + x0, fx, fy, n);
        });
        EXPECT_TRUE(identical(ours, theirs)) << size;
    }
}

// Neutral settings, and steps with non-finite settings, leave the image as it
// is; the steps with usable settings still run.
TEST(Geometry, NeutralAndNonFiniteStepsSkippedFlipsComeFirstCropCases) {
    const cv::Mat in = noise(12, 17, -0.5f, 1.5f);
    EXPECT_TRUE(identical(transformed(in, E{}), in));
    EXPECT_TRUE(identical(run_stage(&P::apply_geometry, in, {{&E::crop_x, kNaN}, {&E::crop_w, 0.5f},
                                                                    {&E::crop_h, 0.5f}, {&E::rotation, kInf}}), in));

    E e = cropped(0.5f, 0, 0.5f, 1);
    e.flip_h = 1;
    e.rotation = kNaN;
    e.perspective_v = -kInf;
    const cv::Mat out = transformed(coordinates(40, 60), e);
    ASSERT_EQ(out.size(), cv::Size(30, 40));
    EXPECT_EQ(out.at<cv::Vec4f>(0, 0)[0], 29.0f);  // mirrored, then the right half kept
    for (float v : {1e6f, -1e30f, 3.4e38f}) {
        const cv::Mat out = run_stage(&P::apply_geometry, noise(8, 9),
                                      {{&E::rotation, v}, {&E::perspective_h, v}, {&E::perspective_v, -v}});
        EXPECT_TRUE(all_finite(out)) << v;
    }
    // Flips both ways equal a half turn and come before rotation.
    E both, mirror_then_turn, turn;
    both.flip_h = both.flip_v = mirror_then_turn.flip_h = 1;
    mirror_then_turn.rotation = turn.rotation = 10;
    cv::Mat turned, mirrored;
    cv::rotate(in, turned, cv::ROTATE_180);
    EXPECT_TRUE(identical(transformed(in, both), turned));
    cv::flip(in, mirrored, 1);
    EXPECT_TRUE(identical(transformed(in, mirror_then_turn), transformed(mirrored, turn)));

    const cv::Mat grid = coordinates(800, 1000);
    struct Case { float x, y, w, h; cv::Rect expected; };
    const Case cases[] = {
        {0.25f, 0.25f, 0.5f, 0.5f, {250, 200, 500, 400}},
        {0, 0, 0.995f, 0.995f, {0, 0, 1000, 800}},  // nearly whole: skipped
        {0, 0, 0.98f, 1, {0, 0, 980, 800}},
        {0, 0, 0.01f, 1, {0, 0, 1000, 800}},    // 10 pixels wide: skipped
        {-0.1f, 0, 0.5f, 1, {0, 0, 500, 800}},  // starts at column 0
        {1.2f, 0, 0.5f, 0.5f, {0, 0, 1000, 800}},  // starts beyond the image: skipped
        // Products far beyond the int range are clamped before conversion.
        {-1e12f, -3.4e38f, 0.5f, 0.5f, {0, 0, 500, 400}},
        {0.5f, 0.5f, 3.4e38f, 3.4e38f, {500, 400, 500, 400}},
        {0, 0, kInf, 0.5f, {0, 0, 1000, 800}},  // non-finite: no crop
    };
    for (const Case& c : cases) {
        const cv::Mat out = transformed(grid, cropped(c.x, c.y, c.w, c.h));
        ASSERT_EQ(out.size(), c.expected.size()) << c.x << " " << c.y << " " << c.w << " " << c.h;
        EXPECT_EQ(cv::Point(rgb_at(out, 0)[0], rgb_at(out, 0)[1]), c.expected.tl());
        EXPECT_FALSE(out.data >= grid.data && out.data < grid.dataend) << "crop must not share pixels";
    }
}
