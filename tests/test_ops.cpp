// The standalone operations: tone, colour, detail, lens, geometry and effects,
// and the estimates made from an image or its histogram.

#include "ops/adjustments.h"
#include "ops/analysis.h"
#include "ops/effects.h"
#include "ops/geometry.h"
#include "support/stage_images.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <array>
#include <stdexcept>

namespace adj = vornalix::adjustments;
namespace geo = vornalix::geometry;
namespace fx = vornalix::effects;
using namespace test_images;

namespace {

cv::Mat grey_image(float v, int side = 4) { return flat(side, side, {v, v, v, 1.0f}); }

// `op` run on a copy of `in`, e.g. applied(grey_row({0.5f}), adj::apply_contrast, 10.0f).
template <typename Op, typename... Args>
cv::Mat applied(const cv::Mat& in, Op op, Args... args) {
    cv::Mat m = in.clone();
    op(m, args...);
    return m;
}

// Grey step from `left` to `right` half way along a row of 16.
cv::Mat step_row(float left, float right) {
    cv::Mat m = flat(1, 16, {left, left, left, 1.0f});
    m.colRange(8, 16).setTo(cv::Scalar(right, right, right, 1.0f));
    return m;
}

cv::Mat checkerboard(float lo, float hi) {
    cv::Mat m = grey_image(lo, 8);
    m.forEach<cv::Vec4f>([hi](cv::Vec4f& v, const int* p) { if ((p[0] + p[1]) % 2) v = {hi, hi, hi, 1.0f}; });
    return m;
}

// White picture with dark lines whose right ends lie `tilt` degrees lower.
cv::Mat tilted_lines(float tilt) {
    cv::Mat m = flat(300, 400, {1, 1, 1, 1});
    const int drop = static_cast<int>(std::lround(320 * std::tan(tilt * CV_PI / 180.0)));
    for (int y0 : {90, 150, 210}) cv::line(m, {40, y0}, {360, y0 + drop}, cv::Scalar(0, 0, 0, 1), 2, cv::LINE_AA);
    return m;
}

}  // namespace

// Each moves its own end (or both) and leaves the other half alone.
TEST(OpsToneAndColour, GreyFiguresCurvesWhiteBalanceSaturationHslAndToning) {
    struct Case { void (*op)(cv::Mat&, float); float value, in, out; };
    const Case cases[] = {
        {adj::apply_brightness, 100, 0.25f, 0.57435f}, {adj::apply_contrast, 100, 0.75f, 0.976190f},  // k = 2.5
        {adj::apply_contrast, 100, 1, 1}, {adj::apply_contrast, -100, 1, 0.5488f},  // k floored at 0.1
        {adj::apply_exposure, 200, 0.5f, 1}, {adj::apply_exposure, 200, 0, 0},  // an overflowing factor
        {adj::apply_highlights, -100, 0.75f, 0.71875f}, {adj::apply_highlights, -100, 0.25f, 0.25f},
        {adj::apply_shadows, 100, 0.25f, 0.28125f}, {adj::apply_shadows, 100, 0.75f, 0.75f},
        {adj::apply_whites, 100, 1, 1 / 1.15f}, {adj::apply_blacks, 100, 0, 0.1f}, {adj::apply_blacks, -100, 0.05f, 0},
    };
    for (const Case& c : cases) EXPECT_NEAR(rgb_at(applied(grey_row({c.in}), c.op, c.value), 0)[0], c.out, 1e-4f) << &c - cases;

    adj::Spline two;
    two.build({{0.2f, 0.1f}, {0.8f, 0.9f}});
    EXPECT_EQ(cv::Vec2f(two.eval(0.1f), two.eval(0.9f)), cv::Vec2f(0.1f, 0.9f));  // flat beyond the end points
    std::vector<float> lut;
    adj::build_tone_curve_lut({{0.0f, 0.0f}, {0.5f, 0.7f}, {1.0f, 1.0f}}, lut);
    ASSERT_EQ(lut.size(), 65536u);
    EXPECT_NEAR(lut[16384], 0.3875f, 1e-4f);  // the natural spline at 0.25
    // Equal or falling abscissae would divide by zero: the curve stays the identity.
    adj::build_tone_curve_lut({{0.0f, 0.0f}, {0.5f, 0.9f}, {0.5f, 0.1f}, {1.0f, 1.0f}}, lut);
    EXPECT_NEAR(lut[40000], 40000 / 65535.0f, 1e-6f);
    // Master (halving), then channel (inverting).
    std::vector<float> half(65536), invert(65536);
    for (int i = 0; i < 65536; ++i) half[i] = 0.5f - 0.5f * (invert[i] = 1.0f - i / 65535.0f);
    const float* no_curve = nullptr;
    EXPECT_RGB_NEAR(rgb_at(applied(working_row({{1.0f, 0.5f, -0.2f}}), adj::apply_tone_curves, half.data(), invert.data(),
                                   no_curve, no_curve), 0), 0.5f, 0.25f, 0.0f, 1e-4f);

    const auto multipliers = [](float kelvin, float tint, cv::Vec3f m = {}) {
        return adj::kelvin_tint_to_multipliers(kelvin, tint, m[0], m[1], m[2]), m;
    };
    EXPECT_RGB_NEAR(multipliers(3000.0f, 0.0f), 0.0035f, 0.3941f, 1.0f, 2e-3f);
    // Below the fit's range: its lower limit; tint 50 takes 5 % off green.
    EXPECT_NEAR(multipliers(1000.0f, 50.0f)[1], 0.95f * multipliers(1667.0f, 0.0f)[1], 1e-6f);
    EXPECT_RGB_NEAR(rgb_at(applied(grey_row({1.0f}), adj::apply_white_balance, 10000.0f, 0.0f), 0), 1.0f, 0.7185f, 0.491f,
                    2e-3f);

    // Saturation and vibrance (a saturated colour stays), an HSL band and split toning.
    const cv::Vec3f half_sat = rgb_of_hsl(0.0f, 0.5f, 0.5f), full = rgb_of_hsl(0.3f, 1.0f, 0.5f);
    EXPECT_NEAR(hsl_of(rgb_at(applied(working_row({half_sat}), adj::apply_saturation, 50.0f), 0))[1], 0.75f, 1e-5f);
    cv::Mat m = applied(working_row({half_sat, full}), adj::apply_vibrance, 100.0f);
    EXPECT_NEAR(hsl_of(rgb_at(m, 0))[1], 0.6f, 1e-5f);
    EXPECT_EQ(rgb_at(m, 1), full);  // already saturated: untouched
    // Green band, centre 1/3, lifts l by 0.5 w on a raised cosine of half-width 0.09;
    // past the band the cosine must not rise again.
    std::array<adj::HslTarget, 8> t{};
    t[3].luminance = 100.0f;
    m = applied(working_row({rgb_of_hsl(1.0f / 3 + 0.045f, 0.5f, 0.25f), rgb_of_hsl(1.0f / 3 + 0.18f, 0.5f, 0.25f)}),
                adj::apply_hsl, t.data());
    EXPECT_LT(cv::norm(cv::Vec2f(hsl_of(rgb_at(m, 0))[2], hsl_of(rgb_at(m, 1))[2]) - cv::Vec2f(0.5f, 0.25f)), 1e-4);
    EXPECT_RGB_NEAR(hsl_of(rgb_at(applied(grey_row({0.5f}), adj::apply_split_toning, 40.0f, 100.0f, 220.0f, 100.0f, 0.0f), 0)),
                    130.0f / 360.0f, 0.3f, 0.5f, 1e-5f);
}

TEST(OpsEstimates, ExposureToneWhiteBalanceAndHistograms) {
    EXPECT_NEAR(adj::auto_exposure_ev(grey_image(0.18f)), std::log2(0.18f / (45.0f / 255.0f)), 1e-5f);
    EXPECT_EQ(adj::auto_exposure_ev(grey_image(-5.0f)), 3.0f);  // negative luminance stays in the first bin
    float c, h, s, w, b, t, tint;
    cv::Mat m = grey_image(0.5f, 10);
    m.at<cv::Vec4f>(0, 0) = {1.0f, 1.0f, 1.0f, 1.0f};  // exactly 1 % clipped: not above the threshold
    EXPECT_EQ((adj::auto_tone(m, c, h, s, w, b), h), 0.0f);
    m = grey_image(0.0f, 2);
    m.at<cv::Vec4f>(0, 0) = {1.0f, 1.0f, 1.0f, 1.0f};
    adj::auto_tone(m, c, h, s, w, b);  // sigma = sqrt(3)/4
    EXPECT_LT(cv::norm(cv::Vec2f(s, c) - cv::Vec2f(60.0f, 40.0f * (0.2f - std::sqrt(3.0f) / 4.0f) / 0.2f)), 1e-4);
    // Grey-world white balance; black, and no red or blue: no measurable cast.
    EXPECT_NEAR((adj::auto_white_balance(flat(2, 2, {0.6f, 0.5f, 0.4f, 0.5f}), t, tint), t), 4491.0f, 1.0f);
    EXPECT_NEAR((adj::auto_white_balance(flat(2, 2, {0.3f, 0.6f, 0.3f, 0.5f}), t, tint), tint), -150.0f * 0.5f, 1e-3f);
    for (cv::Vec4f none : {cv::Vec4f(0, 0, 0, 1), cv::Vec4f(0, 0.6f, 0, 1)})
        EXPECT_EQ((adj::auto_white_balance(flat(2, 2, none), t, tint), t), 5500.0f);

    using namespace vornalix::analysis;
    unsigned int hist[4][256];
    compute_histogram(working_row({{1.0f, 0.0f, 0.5f}, {-0.3f, 2.0f, 0.2f}}), hist[0], hist[1], hist[2], hist[3]);
    EXPECT_EQ(cv::Vec4i(hist[0][255], hist[0][0], hist[2][128], hist[3][63]), cv::Vec4i(1, 1, 1, 1));  // round half up
    EXPECT_THROW(compute_histogram(cv::Mat(), hist[0], hist[1], hist[2], hist[3]), std::invalid_argument);
    EXPECT_EQ(hist[0][255], 0u);  // cleared even when refused
    float e, hi, sh, bl;
    auto_exposure_from_histogram(hist[0], e);  // an empty histogram
    auto_tone_from_histogram(hist[0], c, hi, sh, w, bl);
    EXPECT_LT(cv::norm(cv::Vec3f(e, c, bl) - cv::Vec3f(0.35f * std::log2(0.84f), 15, 5)), 1e-5);
    hist[0][0] = hist[0][255] = 300;  // spread out: negative contrast, bounded at -20
    auto_tone_from_histogram(hist[0], c, hi, sh, w, bl);
    EXPECT_TRUE(c >= -20.0f && c < 0.0f) << c;
}

TEST(OpsDetailAndLens, SharpeningClarityNoiseReductionDehazeDistortionCaAndDefringe) {
    // Amount 75 is gain 1: the edge pixel gains exactly its detail, 0.7 - the Gaussian of sigma 1 there.
    EXPECT_NEAR(rgb_at(applied(step_row(0.3f, 0.7f), adj::apply_sharpening, 75.0f, 1.0f, 0.0f), 8)[0], 0.8202112f, 1e-5f);
    // Threshold 25 means 0.1: more than any detail here.
    EXPECT_TRUE(identical(applied(step_row(0.45f, 0.55f), adj::apply_sharpening, 75.0f, 1.0f, 25.0f), step_row(0.45f, 0.55f)));
    // Detail at sigma 20, midtone weight 0.96, gain 0.4.
    EXPECT_NEAR(rgb_at(applied(step_row(0.4f, 0.6f), adj::apply_clarity, 100.0f), 12)[0], 0.6383945f, 1e-5f);

    // Noise reduction quantises to 8-bit levels and sets alpha; three channels in, four out.
    cv::Mat noisy = noise(8, 8, 0.3f, 0.7f), three;
    noisy.reshape(1, 64).col(3).setTo(0.5f);
    cv::cvtColor(noisy, three, cv::COLOR_RGBA2RGB);
    adj::apply_nr_luminance(noisy, 50.0f), adj::apply_nr_color(three, 100.0f);
    for (const cv::Mat& out : {noisy, three}) {
        ASSERT_EQ(out.type(), CV_32FC4);
        cv::Mat levels = out * 255.0f, rounded;
        levels.convertTo(rounded, CV_8U);
        EXPECT_LT(cv::norm(levels, cv::Mat_<cv::Vec4f>(rounded), cv::NORM_INF), 1e-3);
        EXPECT_EQ(cv::countNonZero(channel(out, 3) != 1.0f), 0);
    }
    const cv::Mat grey = flat(4, 4, {0.5f, 0.5f, 0.5f, 0.5f});
    EXPECT_TRUE(colours_in_unit_range(applied(grey, adj::apply_nr_color, 1e30f)));  // the diameter is held to the kernel cap
    EXPECT_THROW(adj::compute_dark_channel(grey, 0), std::invalid_argument);
    // A flat coloured field is its own (per-channel) airlight and stays; a darker patch in haze gains contrast.
    EXPECT_RGB_NEAR(rgb_at(applied(flat(12, 12, {0.6f, 0.5f, 0.4f, 1}), adj::apply_dehaze, 100.0f), 5, 5), 0.6f, 0.5f, 0.4f, 1e-5f);
    cv::Mat scene = grey_image(0.8f, 20);
    scene(cv::Rect(5, 5, 10, 10)).setTo(cv::Scalar(0.6f, 0.6f, 0.6f, 1.0f));
    EXPECT_LT(rgb_at(applied(scene, adj::apply_dehaze, 100.0f), 10, 10)[0], 0.5f);

    float amount = -1, radius = -1, lum = -1, col = -1;
    EXPECT_EQ((adj::auto_sharpening(grey_image(0.5f, 8), amount, radius), amount), 100.0f);
    // Laplacian spread 0.4 is far past 0.125.
    EXPECT_EQ((adj::auto_sharpening(checkerboard(0.45f, 0.55f), amount, radius), amount), 0.0f);
    adj::auto_noise_reduction(checkerboard(0.49f, 0.51f), lum, col);
    EXPECT_TRUE(lum > 5.0f && col == lum * 0.5f) << lum << " " << col;

    // Red ramp x / 20 on 21 x 21: the middle row's left pixel samples x = 10.5 - 10.5 (1 - 0.6 r^2).
    const float ny = -0.5f / 10.5f, f = 1.0f - 0.6f * (1.0f + ny * ny);
    EXPECT_NEAR(applied(coordinates(21, 21, 1.0f / 20), adj::apply_distortion, 100.0f).at<cv::Vec4f>(10, 0)[0],
                (10.5f - 10.5f * f) / 20.0f, 0.01f);
    EXPECT_RGB_NEAR(rgb_at(applied(flat(10, 10, {0.5f, 0.25f, 0.1f, 1}), adj::apply_lens_vignette, 1.0f), 0, 0), 0.5f * 1.99f,
                    0.25f * 1.99f, 0.1f * 1.99f, 1e-5f);
    // amount 100: red grows to 1004 columns, blue shrinks to 996 (two zero columns each side).
    const cv::Mat ca = applied(coordinates(1, 1000, 1.0f / 999), adj::apply_ca_correction, 100.0f);
    ASSERT_EQ(ca.size(), cv::Size(1000, 1));
    EXPECT_EQ(ca.at<cv::Vec4f>(0, 1)[2], 0.0f);
    EXPECT_NEAR(ca.at<cv::Vec4f>(0, 0)[0], (2.5f / 1.004f - 0.5f) / 999.0f, 1e-5f);

    // Purple (0.9 only here) and green lose half their saturation at 50; orange
    // and a pale colour below the saturation floor stay.
    const cv::Vec3f orange = rgb_of_hsl(0.1f, 0.5f, 0.5f), pale = rgb_of_hsl(0.3f, 0.04f, 0.5f);
    cv::Mat m = applied(working_row({rgb_of_hsl(0.9f, 0.5f, 0.5f), rgb_of_hsl(0.23f, 0.5f, 0.5f), orange, pale}),
                        adj::apply_defringe, 50.0f);
    EXPECT_LT(cv::norm(cv::Vec2f(hsl_of(rgb_at(m, 0))[1], hsl_of(rgb_at(m, 1))[1]) - cv::Vec2f(0.25f, 0.25f)), 1e-5);
    EXPECT_TRUE(rgb_at(m, 2) == orange && rgb_at(m, 3) == pale);
    EXPECT_RGB_NEAR(rgb_at(applied(m, adj::apply_defringe, 100.0f), 0), 0.5f, 0.5f, 0.5f, 1e-6f);
}

TEST(Ops, RefuseWhatTheyCannotReadAndSkipNonFiniteSettings) {
    cv::Mat empty, three(2, 2, CV_32FC3, cv::Scalar::all(0.5)), bytes(2, 2, CV_8UC4, cv::Scalar::all(9));
    float a, b;
    for (cv::Mat* m : {&empty, &bytes}) {
        EXPECT_THROW(adj::apply_sharpening(*m, 50.0f, 1.0f, 0.0f), std::invalid_argument);
        EXPECT_THROW(adj::apply_nr_color(*m, 50.0f), std::invalid_argument);
        EXPECT_THROW(adj::auto_noise_reduction(*m, a, b), std::invalid_argument);
        EXPECT_THROW(fx::apply_vignette(*m, 50.0f, 0.0f, 0.0f), std::invalid_argument);
    }
    EXPECT_THROW(geo::apply_rotation(empty, 5.0f), std::invalid_argument);
    for (cv::Mat* m : {&empty, &three, &bytes}) {  // three channels: only where a fourth is made
        EXPECT_THROW(adj::apply_contrast(*m, 10.0f), std::invalid_argument);
        EXPECT_THROW(adj::auto_exposure_ev(*m), std::invalid_argument);
    }
    EXPECT_NO_THROW(adj::apply_contrast(three, 0.0f));  // a neutral value touches nothing
    cv::Mat m = flat(4, 4, {0.2f, 0.4f, 0.6f, 1}), same = m.clone();
    adj::apply_sharpening(m, 50.0f, kNaN, 0.0f), adj::apply_nr_luminance(m, kInf), adj::apply_clarity(m, kNaN);
    adj::apply_ca_correction(m, kInf);
    EXPECT_TRUE(identical(m, same));
}

TEST(OpsGeometry, CropKeystoneRotationFlipsHorizonAndCropWindows) {
    const cv::Mat xs = channel(coordinates(80, 100), 0), ys = channel(coordinates(80, 100), 1);
    EXPECT_NE(geo::apply_crop(xs, 0, 0, 1, 1).data, xs.data);  // a deep copy
    const cv::Mat quarter = geo::apply_crop(xs, 0.5f, 0.5f, 1, 1);
    ASSERT_EQ(quarter.size(), cv::Size(50, 40));
    EXPECT_EQ(quarter.at<float>(0, 0), 50.0f);
    EXPECT_EQ(geo::apply_crop(xs, 0.995f, 0, 1, 1).cols, 1);  // one pixel is enough
    // Nothing to do, or nothing sensible to do: the input itself comes back.
    for (const cv::Mat& same : {geo::apply_crop(xs, 0, 0, 0, 1), geo::apply_crop(xs, 1.5f, 0, 1, 1),
                                geo::apply_crop(xs, 0, 0, 1e30f, kNaN), geo::apply_rotation(xs, 0.0f),
                                geo::apply_rotation(xs, kNaN), geo::apply_perspective(xs, 0.0f, 0.0f)})
        EXPECT_EQ(same.data, xs.data);
    // 100 x 80: perspective_h(100) moves the top corners in by 20; a top-edge
    // pixel at x samples (x - 20) * 100 / 60, the bottom edge stays.
    const cv::Mat h = geo::apply_perspective_h(xs, 100.0f);
    EXPECT_NEAR(h.at<float>(0, 35), 25.0f, 0.1f);
    EXPECT_NEAR(h.at<float>(79, 35), 35.0f, 0.5f);
    // perspective_v(100) moves the top edge down to 16: y samples (y - 16) * 80 / 64.
    EXPECT_NEAR(geo::apply_perspective_v(ys, 100.0f).at<float>(48, 50), 40.0f, 0.05f);
    // Counter-clockwise about (10.5, 10.5) on 21 x 21: row y samples column 21 - y.
    const cv::Mat m = channel(coordinates(21, 21), 0);
    EXPECT_NEAR(geo::apply_rotation(m, 90.0f).at<float>(15, 10), 6.0f, 0.05f);
    EXPECT_EQ(cv::Vec2f(geo::apply_flip_h(m).at<float>(3, 0), geo::apply_flip_v(ys).at<float>(0, 1)), cv::Vec2f(20, 79));

    // Blank, three-channel and sliver images have nothing to measure; a sliver
    // keeps its reduced copy at least one row high and bounded.
    EXPECT_EQ(geo::negated_median_tilt({{-1.0f, 30.0f}, {0.0f, 30.0f}, {4.0f, 100.0f}}), -4.0f);  // length-weighted
    EXPECT_EQ(geo::negated_median_tilt({}), 0.0f);
    // Measured on the copy squeezed to three quarters vertically: atan(0.75 tan 5 deg).
    const cv::Mat tilted = tilted_lines(5.0f);
    EXPECT_NEAR(geo::detect_horizon_angle(tilted), -std::atan(0.75 * std::tan(5.0 * CV_PI / 180.0)) * 180.0 / CV_PI, 0.3);
    // Straightened both ways, nothing is left to measure (a wrong turn would leave
    // a tilt of at least a degree).
    const cv::Mat level = geo::auto_straighten(tilted);
    ASSERT_EQ(level.size(), tilted.size());
    EXPECT_NEAR(geo::detect_horizon_angle(level), 0.0f, 0.3f);
    EXPECT_NEAR(geo::detect_horizon_angle(geo::auto_straighten(tilted_lines(-4.0f))), 0.0f, 0.3f);

    const cv::Mat blank = flat(60, 80, cv::Vec4f::all(0.5f));
    EXPECT_TRUE(geo::auto_straighten(blank).data == blank.data && geo::auto_straighten(cv::Mat()).empty());
    EXPECT_THROW(geo::detect_horizon_angle(cv::Mat(4, 4, CV_16UC3)), std::invalid_argument);
    for (const cv::Mat& m : {blank, cv::Mat(60, 80, CV_32FC3, cv::Scalar::all(0.5)), cv::Mat(1, 2000, CV_8UC1, cv::Scalar(9)),
                             cv::Mat(20000, 1, CV_8UC1, cv::Scalar(9))})
        EXPECT_EQ(geo::detect_horizon_angle(m), 0.0f) << m.size;

    // The window follows the interest (the search's figures are pinned with the
    // C interface); no image, three channels, or windows of zero height (which
    // would score NaN and never be taken): the whole frame.
    cv::Mat spot = flat(30, 90, {0.2f, 0.2f, 0.2f, 1});
    cv::circle(spot, cv::Point(75, 15), 5, cv::Scalar(1.0f, 1.0f, 1.0f, 1.0f), cv::FILLED);
    float x = -1, y = -1, w = -1, ch = -1;
    geo::auto_crop(spot, 0.0f, x, y, w, ch);  // aspect 0 means 1.5
    EXPECT_TRUE(std::abs(w * 90.0f / (ch * 30.0f) - 1.5f) < 0.05f && x > 0.0f) << x << " " << w / ch;
    for (const auto& [img, aspect] : {std::pair{cv::Mat(), 1.5f}, {cv::Mat(30, 90, CV_32FC3, cv::Scalar::all(0.5)), 1.5f},
                                      {grey_image(0.2f, 30), kInf}}) {
        geo::auto_crop(img, aspect, x, y, w, ch);
        EXPECT_EQ(cv::Vec4f(x, y, w, ch), cv::Vec4f(0, 0, 1, 1)) << aspect;
    }
}

TEST(OpsEffects, VignetteShapeAndGrain) {
    // Roundness 0 at dx = dy = 0.8: r = 0.8 + 0.5 (sqrt(1.28) - 0.8) = 0.9657,
    // darkened by the smoothstep of r.
    EXPECT_NEAR(rgb_at(applied(grey_image(0.5f, 10), fx::apply_vignette, 100.0f, 0.0f, 0.0f), 9, 9)[0],
                0.5f * (1.0f - 0.9657f * 0.9657f * (3.0f - 2.0f * 0.9657f)), 1e-4f);
    EXPECT_RGB_NEAR(rgb_at(applied(grey_image(0.5f, 10), fx::apply_vignette, 100.0f, 50.0f, 0.0f), 0, 0), 0, 0, 0, 0);

    cv::Mat ends = grey_image(0.0f, 8);  // black and white get no grain
    ends(cv::Rect(0, 0, 8, 4)).setTo(cv::Scalar(1.0f, 1.0f, 1.0f, 1.0f));
    EXPECT_LT(cv::norm(applied(ends, fx::apply_grain, 100.0f, 1.0f), ends, cv::NORM_INF), 1e-6);
    const cv::Mat fine = applied(grey_image(0.5f, 64), fx::apply_grain, 100.0f, 1.0f),
                  coarse = applied(grey_image(0.5f, 64), fx::apply_grain, 100.0f, 100.0f);
    const cv::Mat red = channel(fine, 0);
    EXPECT_NEAR(cv::norm(red - cv::mean(red)[0]) / 64, 0.06, 0.006);  // full strength at mid-grey (the shared field is pinned elsewhere)
    // A large grain size blurs the field: neighbours differ far less.
    const auto step = [](const cv::Mat& g) { return cv::norm(g.colRange(1, 64), g.colRange(0, 63), cv::NORM_L1); };
    EXPECT_LT(step(coarse), 0.5 * step(fine));
}
