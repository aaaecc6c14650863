#include "pipeline/pipeline.h"
#include "pipeline/plane_math.h"
#include "support/stage_images.h"

#include <gtest/gtest.h>

using vornalix::EditParams;
using vornalix::Pipeline;
using namespace test_images;

namespace {

cv::Mat noise_reduced(const cv::Mat& in, float luminance, float color) {
    EditParams e;
    e.nr_luminance = luminance;
    e.nr_color = color;
    return run_stage(&Pipeline::apply_noise_reduction, in, e);
}

cv::Mat sharpened(const cv::Mat& in, float amount, float radius, float threshold) {
    EditParams e;
    e.sharpening_amount = amount;
    e.sharpening_radius = radius;
    e.sharpening_threshold = threshold;
    return run_stage(&Pipeline::apply_sharpening, in, e);
}

// Half-width of the square around the centre where `out` differs from `reference`
// (-1 when nothing differs).
int changed_reach(const cv::Mat& out, const cv::Mat& reference) {
    const int cy = out.rows / 2, cx = out.cols / 2;
    int reach = -1;
    for (int y = 0; y < out.rows; ++y)
        for (int x = 0; x < out.cols; ++x)
            if (std::memcmp(out.ptr<cv::Vec4f>(y) + x, reference.ptr<cv::Vec4f>(y) + x, sizeof(cv::Vec4f)) != 0)
                reach = std::max(reach, std::max(std::abs(x - cx), std::abs(y - cy)));
    return reach;
}

}  // namespace

// Every slider of the lens, detail, local-contrast and finishing stages, the
// others set to an active value: a neutral, negative or non-finite value leaves
// the image untouched (out-of-range input shows that not even the clamp runs;
// a positive sharpening amount with no usable radius skips the stage instead of
// failing the render), and a huge one still gives a finite image of the same
// size, clamped by every stage but noise reduction.
TEST(StageSettings, NeutralAndNonFiniteValuesAreSkippedHugeOnesStayInRange) {
    using P = Pipeline;
    using E = EditParams;
    struct Slider {
        void (P::*stage)(cv::Mat&, const E&);
        float E::*field;
        float neutral;  // NaN where no finite value is neutral with the others active
    };
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
    const cv::Mat wide = noise(9, 11, -0.5f, 1.5f), unit = noise(8, 6);
    for (const Slider& s : sliders) {
        E e = active;
        for (float v : {s.neutral, kNaN, kInf, -kInf}) {
            e.*s.field = v;
            EXPECT_TRUE(identical(run_stage(s.stage, wide, e), wide)) << &s - sliders << ": " << v;
        }
        for (float v : {-1e6f, 1e6f, 3.4e38f}) {
            e.*s.field = v;
            const cv::Mat out = run_stage(s.stage, unit, e);
            EXPECT_EQ(out.size(), unit.size());
            const bool smoothing = s.field == &E::nr_luminance || s.field == &E::nr_color;
            EXPECT_TRUE(smoothing ? all_finite(out) : colours_in_unit_range(out))
                << &s - sliders << ": " << v;
        }
    }
}

TEST(NoiseReduction, KernelSizesFollowTheSliders) {
    // A bright pixel on flat grey: the stage changes exactly the kernel's reach around it.
    const cv::Mat grey = flat(31, 31, {0.5f, 0.4f, 0.3f, 1});
    cv::Mat spot = grey.clone();
    spot.at<cv::Vec4f>(15, 15) = {0.9f, 0.8f, 0.7f, 1};
    for (auto [value, reach] : {std::pair{19.9f, 1}, {20.0f, 2}, {100.0f, 6}})
        EXPECT_EQ(changed_reach(noise_reduced(spot, value, 0), noise_reduced(grey, value, 0)), reach) << value;
    for (auto [value, reach] : {std::pair{24.9f, 1}, {25.0f, 2}})
        EXPECT_EQ(changed_reach(noise_reduced(spot, 0, value), noise_reduced(grey, 0, value)), reach) << value;
}

TEST(NoiseReduction, LuminanceSmoothingKeepsRatiosBlackAndAlphaButDoesNotClamp) {
    cv::Mat in = noise(9, 9, 0.2f, 0.8f);
    in.at<cv::Vec4f>(0, 0) = {0, 0, 0, 0.4f};
    in.at<cv::Vec4f>(8, 8) = {0.2f, 0.4f, 0.8f, 0.4f};
    const cv::Mat out = noise_reduced(in, 100, 0);
    EXPECT_EQ(out.at<cv::Vec4f>(0, 0), cv::Vec4f(0, 0, 0, 0.4f));
    const cv::Vec4f c = out.at<cv::Vec4f>(8, 8);
    EXPECT_NEAR(c[2] / c[0], 4.0f, 1e-5);
    EXPECT_NEAR(noise_reduced(flat(5, 5, {1.2f, 1.2f, 1.2f, 1}), 100, 0).at<cv::Vec4f>(2, 2)[0], 1.2f, 1e-5);
    EXPECT_TRUE(identical(channel(out, 3), channel(in, 3)));
}

TEST(NoiseReduction, HugeSlidersAreCappedNearTwiceTheLongSide) {
    using vornalix::stage_math::slider_kernel_size;
    const int cap = vornalix::stage_math::max_kernel_size(cv::Size(12, 7));
    EXPECT_EQ(cap, 25);
    EXPECT_EQ(slider_kernel_size(3e38f, 4.0f, cap), 25);
    // Beyond 2^31 steps the conversion to int would be undefined: the stage at
    // such values stays quick and finite (see StageSettings).
}

TEST(Sharpening, ThresholdGatesTheDetailAndTheResultIsClamped) {
    cv::Mat in = flat(15, 15, {0.5f, 0.5f, 0.5f, 0.6f});
    in.at<cv::Vec4f>(7, 7) = {0.7f, 0.6f, 0.5f, 0.6f};
    // Detail everywhere is smaller than the 0.2 step: a threshold of 0.2 keeps the image.
    EXPECT_LT(cv::norm(sharpened(in, 150, 1, 0.2f * 65535), in, cv::NORM_INF), 1e-6);
    const cv::Mat out = sharpened(in, 150, 1, 0);
    EXPECT_GT(out.at<cv::Vec4f>(7, 7)[0], 0.75f);
    EXPECT_LT(out.at<cv::Vec4f>(7, 8)[0], 0.5f);
    EXPECT_TRUE(identical(channel(out, 3), channel(in, 3)));
    // t = 1 amplifies nothing inside 0..1 but still clamps values outside it.
    const cv::Mat wide = noise(9, 9, -0.5f, 1.5f), clamped = cv::max(cv::min(wide, 1.0), 0.0);  // alpha is 1
    EXPECT_TRUE(identical(sharpened(wide, 40, 1, 65535), clamped));
}
