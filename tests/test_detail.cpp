// Lens, detail, local-contrast and finishing stages driven directly on small
// working images.

#include "pipeline/detail_math.h"
#include "lens/lens_profile.h"
#include "pipeline/lens_math.h"
#include "pipeline/plane_math.h"
#include "support/stage_images.h"

#include <gtest/gtest.h>
#include <lensfun.h>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <tuple>

using E = vornalix::EditParams;
using P = vornalix::Pipeline;
using namespace test_images;

namespace {

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

}  // namespace

// Every slider of the lens, detail, local-contrast and finishing stages, the
// others set to an active value: a neutral, negative or non-finite value leaves
// the image untouched (out-of-range input shows that not even the clamp runs;
// a positive sharpening amount with no usable radius skips the stage instead of
// failing the render), and a huge one still gives a finite image of the same
// size and alpha, clamped by every stage but noise reduction.
TEST(StageSettings, NeutralAndNonFiniteValuesAreSkippedHugeOnesStayInRange) {
    struct Slider { Stage stage; float E::*field; float neutral; };  // NaN: no finite value is neutral
    const Slider sliders[] = {
        {&P::apply_lens_corrections, &E::distortion, 0}, {&P::apply_lens_corrections, &E::ca_correction, -10},
        {&P::apply_lens_corrections, &E::lens_vignette, -20}, {&P::apply_lens_corrections, &E::defringe, -30},
        {&P::apply_noise_reduction, &E::nr_luminance, kNaN}, {&P::apply_noise_reduction, &E::nr_color, kNaN},
        {&P::apply_sharpening, &E::sharpening_amount, -20}, {&P::apply_sharpening, &E::sharpening_radius, -1},
        {&P::apply_sharpening, &E::sharpening_threshold, kNaN}, {&P::apply_clarity_texture, &E::clarity, 0},
        {&P::apply_clarity_texture, &E::texture, kNaN}, {&P::apply_dehaze, &E::dehaze, -50},
        {&P::apply_vignette, &E::vignette_amount, 0}, {&P::apply_vignette, &E::vignette_midpoint, kNaN},
        {&P::apply_vignette, &E::vignette_roundness, kNaN}, {&P::apply_grain, &E::grain_amount, -10},
        {&P::apply_grain, &E::grain_size, kNaN},
    };
    E active;
    active.nr_luminance = active.nr_color = 30;
    active.sharpening_amount = active.clarity = active.vignette_amount = active.grain_amount = 50;
    cv::Mat wide = noise(9, 11, -0.5f, 1.5f), unit = noise(8, 6);
    wide.reshape(1, 99).col(3).setTo(0.5f);
    unit.reshape(1, 48).col(3).setTo(0.5f);
    for (const Slider& s : sliders) {
        E e = active;
        for (float v : {s.neutral, kNaN, kInf, -kInf}) {
            e.*s.field = v;
            EXPECT_TRUE(identical(run_stage(s.stage, wide, e), wide)) << &s - sliders << ": " << v;
        }
        for (float v : {-1e6f, 1e6f, 3.4e38f}) {
            e.*s.field = v;
            // Acting, a stage also clamps what came in out of range; the lens corrections only resample.
            const cv::Mat& in = v > 0 && s.stage != Stage{&P::apply_lens_corrections} ? wide : unit;
            const cv::Mat out = run_stage(s.stage, in, e);
            ASSERT_EQ(out.size(), in.size());
            EXPECT_TRUE(s.stage == Stage{&P::apply_noise_reduction} ? all_finite(out) : bool(colours_in_unit_range(out)))
                << &s - sliders << ": " << v;
            EXPECT_TRUE(identical(channel(out, 3), channel(in, 3))) << &s - sliders << ": " << v;
        }
    }
}

TEST(NoiseReduction, KernelSizesFollowTheSlidersUpToACap) {
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
}

TEST(NoiseReduction, LuminanceSmoothingKeepsBlackAndDoesNotClamp) {
    cv::Mat in = noise(9, 9, 0.2f, 0.8f);
    in.at<cv::Vec4f>(0, 0) = {0, 0, 0, 0.4f};
    EXPECT_EQ(noise_reduced(in, 100, 0).at<cv::Vec4f>(0, 0), cv::Vec4f(0, 0, 0, 0.4f));
    EXPECT_NEAR(noise_reduced(flat(5, 5, {1.2f, 1.2f, 1.2f, 1}), 100, 0).at<cv::Vec4f>(2, 2)[0], 1.2f, 1e-5);
}

TEST(Sharpening, ThresholdGatesTheDetailAndTheResultIsClamped) {
    cv::Mat in = flat(15, 15, {0.5f, 0.5f, 0.5f, 0.6f});
    in.at<cv::Vec4f>(7, 7) = {0.7f, 0.6f, 0.5f, 0.6f};
    // Detail everywhere is smaller than the 0.2 step: a threshold of 0.2 keeps the image.
    EXPECT_LT(cv::norm(sharpened(in, 150, 0.2f * 65535), in, cv::NORM_INF), 1e-6);
    // t = 1 amplifies nothing inside 0..1 but still clamps values outside it.
    const cv::Mat wide = noise(9, 9, -0.5f, 1.5f);  // alpha is 1
    EXPECT_TRUE(identical(sharpened(wide, 40, 65535), cv::max(cv::min(wide, 1.0), 0.0)));
}

TEST(LensCorrections, DistortionNormalisesByTheLargerHalfSize) {
    // 40 x 20: centre (20, 10), radius normalised by 20.
    const cv::Mat ramp = coordinates(20, 40, 1.0f / 64);  // R = column / 64, G = row / 64
    EXPECT_FLOAT_EQ(corrected(ramp, 100, 0, 0, 0).at<cv::Vec4f>(10, 0)[0] * 64, 10.0f);  // radius 1 samples 0.5
    // Pincushion reads beyond the frame: reflected pixels, no black border.
    EXPECT_GT(cv::countNonZero(channel(corrected(ramp, -100, 0, 0, 0), 2) == 0.5f), 799);
}

TEST(LensCorrections, ChromaticAberrationPlanesKeepTheirSize) {
    // A plane one pixel off is padded, not cut; wider but shorter: columns
    // cropped from the centre, rows padded about it.
    cv::Mat plane(2, 1003, CV_32F);
    for (int x = 0; x < plane.cols; ++x) plane.col(x).setTo(x);
    vornalix::stage_math::fit_channel_to_size(plane, cv::Size(1000, 4));
    ASSERT_EQ(plane.size(), cv::Size(1000, 4));
    EXPECT_EQ(plane.at<float>(1, 0), 1.0f);
    EXPECT_EQ(cv::countNonZero(plane.row(0)) + cv::countNonZero(plane.row(3)), 0);
    const cv::Mat odd = corrected(flat(2, 2000, {1, 1, 1, 1}), 0, 10, 0, 0);  // blue 1999 wide
    EXPECT_EQ(cv::Vec2f(odd.at<cv::Vec4f>(0, 1998)[2], odd.at<cv::Vec4f>(0, 1999)[2]), cv::Vec2f(1, 0));
}

TEST(LensCorrections, DefringeWindowEdgesAndSaturationFloor) {
    // Inside the window edges (0.25 and 0.4, exclusive) hues move; outside they stay.
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
    const lens::Profile profile = lens::find_profile({"Canon", "EOS 30D", "EF-S 18-55mm f/3.5-5.6", 22, 22});
    ASSERT_TRUE(profile.found());
    // Lines every 40 px along `axis` (0 vertical, 1 horizontal), drawn where the lens puts them.
    const cv::Size size(600, 400);
    lfModifier bend(profile.lens, profile.crop_factor, size.width, size.height);
    bend.Initialize(profile.lens, LF_PF_F32, 22, 22, 1000, 1, profile.lens->Type, LF_MODIFY_DISTORTION, true);
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
    EXPECT_FALSE(lens::find_profile({"Canon", "EOS 30D", "Nonesuch 7mm f/0.9", 22, 22}).found());
}

TEST(LocalContrast, DehazePatchDarkChannelAndGrey) {
    for (auto [width, patch] : {std::pair{150, 3}, {200, 5}, {6000, 121}})
        EXPECT_EQ(vornalix::stage_math::odd_patch_size(width, 0.02f, 3, INT_MAX), patch) << width;
    // The dark channel spreads a dark pixel over the patch; the border never wins.
    cv::Mat light(7, 7, CV_32F, cv::Scalar(0.8f)), spot = light.clone();
    spot.at<float>(3, 3) = 0.1f;
    const cv::Mat dark = vornalix::stage_math::dark_channel({light, spot, light}, 5);
    EXPECT_EQ(cv::Vec2f(cv::countNonZero(dark < 0.5f), dark.at<float>(0, 0)), cv::Vec2f(25, 0.8f));
    // Uniform grey is its own light and stays.
    const cv::Mat grey = flat(12, 12, {0.5f, 0.5f, 0.5f, 1});
    EXPECT_LT(cv::norm(run_stage(&P::apply_dehaze, grey, {{&E::dehaze, 100}}), grey, cv::NORM_INF), 1e-6);
}

// The pyramid blur stands in for the full-size one, on rough noise, on sizes
// that do not halve evenly and on one narrower than its reflected border.
TEST(LocalContrast, WideBlurFollowsTheFullGaussian) {
    for (auto [size, sigma] : {std::pair{cv::Size(301, 203), 20.0}, {cv::Size(157, 83), 5.0}, {cv::Size(7, 40), 12.0}}) {
        cv::Mat plane(size, CV_32F), wide, full;
        cv::randu(plane, 0.0f, 1.0f);
        vornalix::stage_math::wide_gaussian_blur(plane, wide, sigma);
        vornalix::stage_math::gaussian_blur(plane, full, cv::Size(), sigma);
        EXPECT_LT(cv::norm(wide, full, cv::NORM_INF), 1e-4) << size << " sigma " << sigma;
    }
}

// Distances are elliptical, each axis normalised by its half size: on 40 x 31
// the centre is (20, 15.5), so column 0 of row 15 lies just beyond r = 1.
TEST(Vignette, ShapeFollowsMidpointAndRoundness) {
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
}

// Column width - x lies as far right of the centre as x lies left of it.
TEST(Vignette, ColumnsMirrorExactlyAboutTheCentre) {
    EXPECT_TRUE(all_finite(vignetted(flat(9, 1, {0.6f, 0.5f, 0.4f, 1.0f}), 80, 20, -30)));
    for (int width : {37, 40, 2}) {
        const cv::Mat v = vignetted(flat(9, width, {0.6f, 0.5f, 0.4f, 1.0f}), 80, 20, -30);
        cv::Mat mirrored;
        cv::flip(v.colRange(1, width), mirrored, 1);
        EXPECT_TRUE(identical(v.colRange(1, width).clone(), mirrored)) << width;
    }
}

TEST(Grain, MonochromeNoiseOfTheRequestedDeviation) {
    cv::theRNG().state = 12345;
    const cv::Mat grey = flat(96, 96, {0.5f, 0.5f, 0.5f, 0.3f});
    for (float size : {0.0f, 25.0f, 100.0f}) {
        const cv::Mat out = run_stage(&P::apply_grain, grey, {{&E::grain_amount, 100}, {&E::grain_size, size}});
        const cv::Mat r = channel(out, 0);
        EXPECT_TRUE(identical(r, channel(out, 1)) && identical(r, channel(out, 2)));
        cv::Scalar mean, deviation;
        cv::meanStdDev(r - 0.5f, mean, deviation);
        EXPECT_LE(cv::norm(cv::Vec2d(mean[0], deviation[0] - 0.05), cv::NORM_INF), 0.005) << size;
    }
}
