#include "pipeline/pipeline.h"
#include "pipeline/stage_math.h"
#include "support/stage_images.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <climits>

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

TEST(LocalContrast, NeutralAndNonFiniteSettingsLeaveTheImageUntouched) {
    // Out-of-range values show that not even the clamp runs.
    const cv::Mat in = noise(9, 13, -0.5f, 1.5f);
    EXPECT_TRUE(identical(clarity_texture(in, 0, 0), in));
    for (float bad : {kNaN, kInf, -kInf}) {
        EXPECT_TRUE(identical(clarity_texture(in, bad, 0), in));
        EXPECT_TRUE(identical(clarity_texture(in, 50, bad), in));
        EXPECT_TRUE(identical(dehaze(in, bad), in));
    }
    for (float amount : {0.0f, -50.0f}) EXPECT_TRUE(identical(dehaze(in, amount), in));
}

TEST(LocalContrast, FlatImageOnlyClamps) {
    const cv::Mat grey = flat(8, 8, {0.4f, 0.5f, 0.6f, 0.3f});
    EXPECT_LT(cv::norm(clarity_texture(grey, 100, 100), grey, cv::NORM_INF), 1e-6);
    const cv::Mat hot = clarity_texture(flat(8, 8, {1.5f, -0.5f, 0.5f, 1.0f}), -100, 0);
    EXPECT_EQ(hot.at<cv::Vec4f>(3, 3), cv::Vec4f(1.0f, 0.0f, 0.5f, 1.0f));
}

TEST(LocalContrast, ClarityAndTextureAddScaledLuminanceDetail) {
    const cv::Mat in = noise(24, 30, 0.3f, 0.7f);
    std::vector<cv::Mat> planes;
    cv::split(in, planes);
    const cv::Mat luma = 0.2126 * planes[0] + 0.7152 * planes[1] + 0.0722 * planes[2];
    for (auto [sigma, gain, clarity, texture] :
         {std::tuple{20.0, 0.3f, 100.0f, 0.0f}, {20.0, -0.3f, -100.0f, 0.0f}, {3.0, 0.2f, 0.0f, 100.0f}}) {
        cv::Mat blurred;
        cv::GaussianBlur(luma, blurred, cv::Size(), sigma, 0, cv::BORDER_REFLECT_101);
        const cv::Mat detail = luma - blurred;
        const cv::Mat out = clarity_texture(in, clarity, texture);
        for (int c = 0; c < 4; ++c) {
            const cv::Mat expected = c == 3 ? planes[3] : planes[c] + detail * gain;
            EXPECT_LT(cv::norm(channel(out, c), expected, cv::NORM_INF), 1e-5) << "channel " << c;
        }
    }
}

TEST(LocalContrast, DehazePatchGrowsWithTheWidth) {
    using vornalix::stage_math::odd_patch_size;
    EXPECT_EQ(odd_patch_size(100, 0.02f, 3, INT_MAX), 3);
    EXPECT_EQ(odd_patch_size(149, 0.02f, 3, INT_MAX), 3);
    EXPECT_EQ(odd_patch_size(150, 0.02f, 3, INT_MAX), 3);
    EXPECT_EQ(odd_patch_size(200, 0.02f, 3, INT_MAX), 5);
    EXPECT_EQ(odd_patch_size(1000, 0.02f, 3, INT_MAX), 21);
    EXPECT_EQ(odd_patch_size(6000, 0.02f, 3, INT_MAX), 121);

    // The dark channel spreads a dark pixel over the patch; the border never wins.
    std::vector<cv::Mat> planes(3, cv::Mat(7, 7, CV_32F, cv::Scalar(0.8f)));
    planes[1] = planes[1].clone();
    planes[1].at<float>(3, 3) = 0.1f;
    const cv::Mat dark = vornalix::stage_math::dark_channel(planes, 5);
    EXPECT_EQ(cv::countNonZero(dark < 0.5f), 25);
    EXPECT_FLOAT_EQ(dark.at<float>(0, 0), 0.8f);
    EXPECT_FLOAT_EQ(dark.at<float>(1, 1), 0.1f);
}

TEST(LocalContrast, DehazeKeepsBlackAndUniformGreyAndStretchesAroundTheLight) {
    const cv::Mat black = flat(12, 12, {0, 0, 0, 0.5f});
    EXPECT_TRUE(identical(dehaze(black, 100), black));

    const cv::Mat grey = dehaze(flat(12, 12, {0.5f, 0.5f, 0.5f, 1}), 100);
    EXPECT_LT(cv::norm(grey, flat(12, 12, {0.5f, 0.5f, 0.5f, 1}), cv::NORM_INF), 1e-6);

    // Light A = 0.5 and t = 0.1: a channel 0.02 above A moves to 0.7, 0.02 below to 0.3.
    cv::Mat tinted = flat(20, 20, {0.5f, 0.5f, 0.5f, 0.25f});
    tinted.at<cv::Vec4f>(10, 10) = {0.52f, 0.5f, 0.48f, 0.25f};
    const cv::Vec4f v = dehaze(tinted, 100).at<cv::Vec4f>(10, 10);
    EXPECT_NEAR(v[0], 0.7f, 1e-4);
    EXPECT_NEAR(v[1], 0.5f, 1e-4);
    EXPECT_NEAR(v[2], 0.3f, 1e-4);
    EXPECT_EQ(v[3], 0.25f);
}

TEST(LocalContrast, OutOfScaleValuesGiveFiniteClampedImages) {
    const cv::Mat in = noise(16, 21, -0.2f, 1.2f);
    for (float amount : {106.0f, 200.0f, 1e6f, 1e30f, 3.4e38f}) {
        const cv::Mat out = dehaze(in, amount);
        EXPECT_TRUE(colours_in_unit_range(out)) << amount;
        EXPECT_TRUE(identical(channel(out, 3), channel(in, 3)));
    }
    for (float amount : {1e30f, -3.4e38f}) {
        EXPECT_TRUE(colours_in_unit_range(clarity_texture(in, amount, 0))) << amount;
        EXPECT_TRUE(colours_in_unit_range(clarity_texture(in, 0, amount))) << amount;
    }
}
