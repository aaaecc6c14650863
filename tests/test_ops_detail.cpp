#include "ops/adjustments.h"
#include "support/hsl_colours.h"
#include "support/working_image.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <stdexcept>

namespace adj = vornalix::adjustments;

namespace {

cv::Mat flat(float r, float g, float b, int rows = 8, int cols = 8, float alpha = 1.0f) {
    return cv::Mat(rows, cols, CV_32FC4, cv::Scalar(r, g, b, alpha));
}

// Grey step from `left` to `right` half way along a row of 16.
cv::Mat step_row(float left, float right) {
    cv::Mat m = flat(left, left, left, 1, 16);
    m.colRange(8, 16).setTo(cv::Scalar(right, right, right, 1.0f));
    return m;
}

cv::Mat checkerboard(float lo, float hi) {
    cv::Mat m = flat(lo, lo, lo);
    for (int i = 0; i < 64; ++i)
        if ((i / 8 + i % 8) % 2) m.at<cv::Vec4f>(i / 8, i % 8) = {hi, hi, hi, 1.0f};
    return m;
}

}  // namespace

TEST(OpsDetail, SharpeningAndClarityFigures) {
    // amount 75 is gain 1: the edge pixel gains exactly its detail.
    cv::Mat m = step_row(0.3f, 0.7f);
    adj::apply_sharpening(m, 75.0f, 1.0f, 0.0f);
    EXPECT_NEAR(rgb_at(m, 8)[0], 0.8202112f, 1e-5f);  // 0.7 + (0.7 - the Gaussian of sigma 1 there)

    // threshold 25 means 0.1: a step of 0.1 has detail below it everywhere.
    cv::Mat soft = step_row(0.45f, 0.55f), same = soft.clone();
    adj::apply_sharpening(soft, 75.0f, 1.0f, 25.0f);
    EXPECT_TRUE(same_bits(soft, same));

    m = step_row(0.0f, 1.0f);
    same = m.clone();
    adj::apply_clarity(m, 100.0f);  // black and white have no midtone weight
    EXPECT_TRUE(same_bits(m, same));
    m = step_row(0.4f, 0.6f);
    adj::apply_clarity(m, 100.0f);
    EXPECT_NEAR(rgb_at(m, 12)[0], 0.6383945f, 1e-5f);  // detail at sigma 20, midtone weight 0.96, gain 0.4
}

TEST(OpsDetail, NoiseReductionQuantisesAndSetsAlpha) {
    cv::Mat noisy(8, 8, CV_32FC4);
    cv::RNG(7).fill(noisy, cv::RNG::UNIFORM, cv::Scalar::all(0.3), cv::Scalar::all(0.7));
    noisy.reshape(1, 64).col(3).setTo(0.5f);
    cv::Mat lum = noisy.clone(), three;
    adj::apply_nr_luminance(lum, 50.0f);
    cv::cvtColor(noisy, three, cv::COLOR_RGBA2RGB);
    adj::apply_nr_color(three, 100.0f);
    ASSERT_EQ(three.type(), CV_32FC4);  // three channels in, four out
    for (const cv::Mat* m : {&lum, &three})
        for (int i = 0; i < 64; ++i) {
            const cv::Vec4f p = m->at<cv::Vec4f>(i / 8, i % 8);
            EXPECT_EQ(p[3], 1.0f);
            for (int c = 0; c < 3; ++c) EXPECT_NEAR(p[c] * 255.0f, std::round(p[c] * 255.0f), 1e-3f);
        }
    cv::Mat grey = flat(0.5f, 0.5f, 0.5f, 4, 4, 0.5f);
    adj::apply_nr_color(grey, 1e30f);  // the diameter is held to the kernel cap
    EXPECT_TRUE(finite_in_unit_range(grey));
}

TEST(OpsDetail, DarkChannelAndDehaze) {
    cv::Mat m = working_row({{0.3f, 0.2f, 0.9f}, {0.8f, 0.6f, 0.7f}, {0.5f, 0.5f, 0.1f}});
    EXPECT_FLOAT_EQ(adj::compute_dark_channel(m, 1).at<float>(0, 1), 0.6f);
    EXPECT_FLOAT_EQ(adj::compute_dark_channel(m, 3).at<float>(0, 0), 0.2f);  // the border never wins
    EXPECT_THROW(adj::compute_dark_channel(m, 0), std::invalid_argument);

    // A flat coloured field is its own (per-channel) airlight and stays as it is.
    cv::Mat haze = flat(0.6f, 0.5f, 0.4f, 12, 12);
    adj::apply_dehaze(haze, 100.0f);
    EXPECT_RGB_NEAR(rgb_at(haze, 5, 5), 0.6f, 0.5f, 0.4f, 1e-5f);
    // A darker patch in haze gains contrast.
    cv::Mat scene = flat(0.8f, 0.8f, 0.8f, 20, 20);
    scene(cv::Rect(5, 5, 10, 10)).setTo(cv::Scalar(0.6f, 0.6f, 0.6f, 1.0f));
    adj::apply_dehaze(scene, 100.0f);
    EXPECT_LT(rgb_at(scene, 10, 10)[0], 0.5f);
}

TEST(OpsDetail, AutoEstimates) {
    float amount = -1, radius = -1, lum = -1, col = -1;
    adj::auto_sharpening(flat(0.5f, 0.5f, 0.5f), amount, radius);
    EXPECT_EQ(amount, 100.0f);
    adj::auto_sharpening(checkerboard(0.45f, 0.55f), amount, radius);
    EXPECT_EQ(amount, 0.0f);  // Laplacian spread 0.4 is far past 0.125
    adj::auto_noise_reduction(checkerboard(0.49f, 0.51f), lum, col);
    EXPECT_GT(lum, 5.0f);
    EXPECT_FLOAT_EQ(col, lum * 0.5f);
}

TEST(OpsLens, DistortionLensVignetteAndCa) {
    // Red ramp x / 20 on 21 x 21: the middle row's left pixel samples x = 10.5 - 10.5 (1 - 0.6 r^2).
    cv::Mat m(21, 21, CV_32FC4);
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 21; ++x) m.at<cv::Vec4f>(y, x) = {x / 20.0f, 0.5f, 0.5f, 1.0f};
    adj::apply_distortion(m, 100.0f);
    const float ny = -0.5f / 10.5f, f = 1.0f - 0.6f * (1.0f + ny * ny);
    EXPECT_NEAR(m.at<cv::Vec4f>(10, 0)[0], (10.5f - 10.5f * f) / 20.0f, 0.01f);

    cv::Mat v = flat(0.5f, 0.25f, 0.1f, 10, 10);
    adj::apply_lens_vignette(v, 1.0f);
    EXPECT_RGB_NEAR(rgb_at(v, 0, 0), 0.5f * 1.99f, 0.25f * 1.99f, 0.1f * 1.99f, 1e-5f);

    // amount 100: red grows to 1004 columns, blue shrinks to 996 (two zero columns each side).
    cv::Mat ca(1, 1000, CV_32FC4);
    for (int x = 0; x < 1000; ++x) ca.at<cv::Vec4f>(0, x) = {x / 999.0f, 0.5f, 0.5f, 1.0f};
    adj::apply_ca_correction(ca, 100.0f);
    ASSERT_EQ(ca.size(), cv::Size(1000, 1));
    EXPECT_EQ(ca.at<cv::Vec4f>(0, 1)[2], 0.0f);
    EXPECT_NEAR(ca.at<cv::Vec4f>(0, 0)[0], (2.5f / 1.004f - 0.5f) / 999.0f, 1e-5f);
}

TEST(OpsLens, DefringeWindowsAndStrength) {
    const cv::Vec3f purple = rgb_of_hsl(0.9f, 0.5f, 0.5f), green = rgb_of_hsl(0.23f, 0.5f, 0.5f);  // 0.9: only here
    const cv::Vec3f orange = rgb_of_hsl(0.1f, 0.5f, 0.5f), pale = rgb_of_hsl(0.3f, 0.04f, 0.5f);  // 0.04 < floor
    cv::Mat m = working_row({purple, green, orange, pale});
    adj::apply_defringe(m, 50.0f);
    EXPECT_NEAR(hsl_of(rgb_at(m, 0))[1], 0.25f, 1e-5f);
    EXPECT_NEAR(hsl_of(rgb_at(m, 1))[1], 0.25f, 1e-5f);
    EXPECT_RGB_NEAR(rgb_at(m, 2), orange[0], orange[1], orange[2], 0.0f);
    EXPECT_RGB_NEAR(rgb_at(m, 3), pale[0], pale[1], pale[2], 0.0f);
    adj::apply_defringe(m, 100.0f);
    EXPECT_RGB_NEAR(rgb_at(m, 0), 0.5f, 0.5f, 0.5f, 1e-6f);
}

TEST(OpsDetail, RefusesWhatItCannotRead) {
    cv::Mat empty, bytes(2, 2, CV_8UC4, cv::Scalar::all(9));
    for (cv::Mat* m : {&empty, &bytes}) {
        EXPECT_THROW(adj::apply_sharpening(*m, 50.0f, 1.0f, 0.0f), std::invalid_argument);
        EXPECT_THROW(adj::apply_nr_color(*m, 50.0f), std::invalid_argument);
        EXPECT_THROW(adj::apply_dehaze(*m, 50.0f), std::invalid_argument);
        float a, b;
        EXPECT_THROW(adj::auto_noise_reduction(*m, a, b), std::invalid_argument);
    }
    // Non-finite settings leave the image as it is.
    cv::Mat m = flat(0.2f, 0.4f, 0.6f, 4, 4), same = m.clone();
    adj::apply_sharpening(m, 50.0f, NAN, 0.0f);
    adj::apply_nr_luminance(m, INFINITY);
    adj::apply_clarity(m, NAN);
    adj::apply_ca_correction(m, INFINITY);
    EXPECT_TRUE(same_bits(m, same));
}
