#include "pipeline/lens_math.h"
#include "pipeline/pipeline.h"
#include "support/stage_images.h"

#include <gtest/gtest.h>

using vornalix::EditParams;
using vornalix::Pipeline;
using namespace test_images;

namespace {

cv::Mat corrected(const cv::Mat& in, float distortion, float ca, float vignette, float defringe) {
    EditParams e;
    e.distortion = distortion;
    e.ca_correction = ca;
    e.lens_vignette = vignette;
    e.defringe = defringe;
    return run_stage(&Pipeline::apply_lens_corrections, in, e);
}

cv::Vec4f defringed(cv::Vec3f rgb, float amount) {
    return corrected(flat(1, 1, {rgb[0], rgb[1], rgb[2], 0.7f}), 0, 0, 0, amount).at<cv::Vec4f>(0, 0);
}

}  // namespace

TEST(LensCorrections, DistortionNormalisesByTheLargerHalfSize) {
    // 40 x 20: centre (20, 10), radius normalised by 20.
    const cv::Mat ramp = coordinates(20, 40, 1.0f / 64);  // R = column / 64, G = row / 64
    const cv::Mat barrel = corrected(ramp, 100, 0, 0, 0);
    EXPECT_FLOAT_EQ(barrel.at<cv::Vec4f>(10, 0)[0] * 64, 10.0f);  // radius 1 samples radius 0.5
    // Pincushion reads beyond the frame: reflected pixels, no black border.
    const cv::Mat pin = corrected(ramp, -100, 0, 0, 0);
    EXPECT_GT(cv::countNonZero(channel(pin, 2) == 0.5f), 799);
}

TEST(LensCorrections, ChromaticAberrationPlacesRedAndBlueAboutTheCentre) {
    cv::Mat in(4, 1000, CV_32FC4);
    for (int x = 0; x < 1000; ++x) in.col(x).setTo(cv::Scalar(x / 1000.0, 0.5, 1.0, 1.0));
    const cv::Mat out = corrected(in, 0, 100, 0, 0);
    // Red grew to 1003 columns: one dropped on the left, two on the right.
    EXPECT_NEAR(out.at<cv::Vec4f>(1, 999)[0] * 1000, 1000.5 / 1.003 - 0.5, 1e-3);
    // Blue shrank to 997 columns placed at column 1.
    EXPECT_EQ(out.at<cv::Vec4f>(2, 0)[2], 0.0f);
    EXPECT_NEAR(out.at<cv::Vec4f>(2, 1)[2], 1.0f, 1e-6);
    EXPECT_EQ(out.at<cv::Vec4f>(2, 998)[2], 0.0f);
    EXPECT_TRUE(identical(channel(out, 1), channel(in, 1)));
}

TEST(LensCorrections, PlanesOnePixelOffAreFittedPerAxis) {
    // ca 10 on 2000 columns: red 2001 wide, blue 1999 wide (one short): it is padded, not cut.
    const cv::Mat out = corrected(flat(2, 2000, {1, 1, 1, 1}), 0, 10, 0, 0);
    ASSERT_EQ(out.size(), cv::Size(2000, 2));
    EXPECT_NEAR(out.at<cv::Vec4f>(0, 1998)[2], 1.0f, 1e-6);
    EXPECT_EQ(out.at<cv::Vec4f>(0, 1999)[2], 0.0f);

    // Wider but shorter: columns cropped from the centre, rows padded about it.
    cv::Mat plane(2, 1003, CV_32F);
    for (int x = 0; x < plane.cols; ++x) plane.col(x).setTo(x);
    vornalix::stage_math::fit_channel_to_size(plane, cv::Size(1000, 4));
    ASSERT_EQ(plane.size(), cv::Size(1000, 4));
    EXPECT_EQ(plane.at<float>(1, 0), 1.0f);
    EXPECT_EQ(cv::countNonZero(plane.row(0)) + cv::countNonZero(plane.row(3)), 0);

    // Huge amounts keep both planes at the frame's size (see StageSettings).
}

TEST(LensCorrections, LensVignettingBrightensTowardsTheCorners) {
    const cv::Mat in = flat(9, 13, {0.8f, 0.4f, 0.2f, 0.5f});
    EXPECT_EQ(corrected(in, 0, 0, 100, 0).at<cv::Vec4f>(0, 0), cv::Vec4f(1.0f, 0.6f, 0.3f, 0.5f));
    const cv::Mat even = flat(8, 12, {0.4f, 0.4f, 0.4f, 1});
    EXPECT_EQ(corrected(even, 0, 0, 100, 0).at<cv::Vec4f>(4, 6), even.at<cv::Vec4f>(4, 6));
}

TEST(LensCorrections, DefringeShrinksChromaInsideThePurpleAndGreenWindows) {
    // Saturated magenta (hue 5/6): hue and lightness kept, chroma halved at 100.
    EXPECT_TRUE(cv::norm(defringed({0.8f, 0.2f, 0.8f}, 100) - cv::Vec4f(0.65f, 0.35f, 0.65f, 0.7f)) < 1e-6);
    // Inside the window edges (0.25 and 0.4, exclusive) hues move; outside they stay.
    auto hue_pixel = [](float h) {
        cv::Vec3f rgb;
        vornalix::pixel::hsl_to_rgb({h, 0.8f, 0.5f}, rgb[0], rgb[1], rgb[2]);
        return rgb;
    };
    for (float h : {0.26f, 0.39f}) EXPECT_NE(defringed(hue_pixel(h), 100)[0], hue_pixel(h)[0]) << h;
    for (float h : {0.2f, 0.45f, 0.86f}) EXPECT_EQ(defringed(hue_pixel(h), 100)[0], hue_pixel(h)[0]) << h;
    // Saturation threshold: at 1 only pixels above S = 0.495 count.
    EXPECT_EQ(defringed({0.6f, 0.4f, 0.6f}, 1)[0], 0.6f);  // S = 0.2
    EXPECT_LT(defringed({0.8f, 0.2f, 0.8f}, 1)[0], 0.8f);  // S = 0.6
}

TEST(LensCorrections, DefringeLeavesPixelsWithUndefinedSaturation) {
    // max + min = 2: the HSL saturation's denominator is 0; such a pixel is no fringe.
    EXPECT_EQ(defringed({1.5f, 0.5f, 1.5f}, 100), cv::Vec4f(1.5f, 0.5f, 1.5f, 0.7f));
    EXPECT_EQ(defringed({1.0f, 1.0f, 1.0f}, 100), cv::Vec4f(1, 1, 1, 0.7f));
    EXPECT_TRUE(all_finite(corrected(noise(8, 8, -1.0f, 2.0f), 0, 0, 0, 3.4e38f)));
}
