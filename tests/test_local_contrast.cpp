#include "pipeline/detail_math.h"
#include "pipeline/pipeline.h"
#include "support/stage_images.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <climits>
#include <tuple>
#include <vector>

using vornalix::EditParams;
using vornalix::Pipeline;
using namespace test_images;

namespace {

cv::Mat clarity_texture(const cv::Mat& in, float clarity, float texture) {
    EditParams e;
    e.clarity = clarity;
    e.texture = texture;
    return run_stage(&Pipeline::apply_clarity_texture, in, e);
}

cv::Mat dehaze(const cv::Mat& in, float amount) {
    EditParams e;
    e.dehaze = amount;
    return run_stage(&Pipeline::apply_dehaze, in, e);
}

}  // namespace

// Neutral, non-finite and huge settings: see StageSettings. A flat image has
// no detail: it is only clamped; dehaze clamps out-of-scale input and keeps alpha.
TEST(LocalContrast, FlatImagesAreOnlyClampedAndDehazeClampsOutOfScaleInput) {
    const cv::Mat hot = clarity_texture(flat(8, 8, {1.5f, -0.5f, 0.5f, 1.0f}), -100, 0);
    EXPECT_EQ(hot.at<cv::Vec4f>(3, 3), cv::Vec4f(1.0f, 0.0f, 0.5f, 1.0f));
    const cv::Mat in = noise(16, 21, -0.2f, 1.2f), out = dehaze(in, 106);
    EXPECT_TRUE(colours_in_unit_range(out));
    EXPECT_TRUE(identical(channel(out, 3), channel(in, 3)));
}

// On white noise the wide clarity blur is close to the mean, so the change is
// about 0.3 x (luminance - mean) at 100; texture's narrow blur keeps a little
// of the noise, so its 0.2 comes out slightly lower. Every colour channel gets
// the same change, and it is proportional to the slider.
TEST(LocalContrast, ClarityAndTextureAddScaledLuminanceDetail) {
    const cv::Mat in = noise(24, 30, 0.3f, 0.7f);
    std::vector<cv::Mat> planes;
    cv::split(in, planes);
    cv::Mat luma = 0.2126 * planes[0] + 0.7152 * planes[1] + 0.0722 * planes[2];
    luma -= cv::mean(luma)[0];
    for (auto [clarity, texture, gain] : {std::tuple{100.0f, 0.0f, 0.3}, {0.0f, 100.0f, 0.195}}) {
        const cv::Mat change = clarity_texture(in, clarity, texture) - in;
        const cv::Mat red = channel(change, 0);
        EXPECT_NEAR(red.dot(luma) / luma.dot(luma), gain, 0.015) << clarity;
        EXPECT_LT(cv::norm(red, channel(change, 2), cv::NORM_INF), 1e-6);
        EXPECT_EQ(cv::countNonZero(channel(change, 3)), 0);
        const cv::Mat negative = clarity_texture(in, -clarity / 2, -texture / 2) - in;
        EXPECT_LT(cv::norm(change, -2 * negative, cv::NORM_INF), 1e-5);
    }
}

TEST(LocalContrast, DehazePatchGrowsWithTheWidth) {
    using vornalix::stage_math::odd_patch_size;
    for (auto [width, patch] : {std::pair{150, 3}, {200, 5}, {6000, 121}})
        EXPECT_EQ(odd_patch_size(width, 0.02f, 3, INT_MAX), patch) << width;

    // The dark channel spreads a dark pixel over the patch; the border never wins.
    std::vector<cv::Mat> planes(3, cv::Mat(7, 7, CV_32F, cv::Scalar(0.8f)));
    planes[1] = planes[1].clone();
    planes[1].at<float>(3, 3) = 0.1f;
    const cv::Mat dark = vornalix::stage_math::dark_channel(planes, 5);
    EXPECT_EQ(cv::countNonZero(dark < 0.5f), 25);
    EXPECT_FLOAT_EQ(dark.at<float>(0, 0), 0.8f);
}

TEST(LocalContrast, DehazeKeepsUniformGreyAndStretchesAroundTheLight) {
    const cv::Mat grey = flat(12, 12, {0.5f, 0.5f, 0.5f, 1});
    EXPECT_LT(cv::norm(dehaze(grey, 100), grey, cv::NORM_INF), 1e-6);

    // Light A = 0.5 and t = 0.1: a channel 0.02 above A moves to 0.7, 0.02 below to 0.3.
    cv::Mat tinted = flat(20, 20, {0.5f, 0.5f, 0.5f, 0.25f});
    tinted.at<cv::Vec4f>(10, 10) = {0.52f, 0.5f, 0.48f, 0.25f};
    const cv::Vec4f v = dehaze(tinted, 100).at<cv::Vec4f>(10, 10);
    EXPECT_LT(cv::norm(v - cv::Vec4f(0.7f, 0.5f, 0.3f, 0.25f)), 1e-4);
}

