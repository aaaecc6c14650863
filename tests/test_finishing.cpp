#include "pipeline/pipeline.h"
#include "support/stage_images.h"

#include <gtest/gtest.h>

using vornalix::EditParams;
using vornalix::Pipeline;
using namespace test_images;

namespace {

cv::Mat vignetted(const cv::Mat& in, float amount, float midpoint, float roundness) {
    EditParams e;
    e.vignette_amount = amount;
    e.vignette_midpoint = midpoint;
    e.vignette_roundness = roundness;
    return run_stage(&Pipeline::apply_vignette, in, e);
}

cv::Mat grained(const cv::Mat& in, float amount, float size) {
    EditParams e;
    e.grain_amount = amount;
    e.grain_size = size;
    return run_stage(&Pipeline::apply_grain, in, e);
}

}  // namespace

// Distances are elliptical, each axis normalised by its half size: on 40 x 31
// the centre is (20, 15.5), so column 0 of row 15 lies just beyond r = 1.
TEST(Vignette, ShapeFollowsMidpointAndRoundness) {
    const cv::Mat grey = flat(31, 40, {0.5f, 0.5f, 0.5f, 0.3f});
    const cv::Mat dark = vignetted(grey, 100, 50, 0), light = vignetted(grey, -100, 50, 0);
    EXPECT_EQ(dark.at<cv::Vec4f>(11, 20), grey.at<cv::Vec4f>(11, 20));  // r = 0.26 <= 0.5
    EXPECT_EQ(dark.at<cv::Vec4f>(15, 0), cv::Vec4f(0, 0, 0, 0.3f));
    EXPECT_EQ(light.at<cv::Vec4f>(0, 0), cv::Vec4f(1, 1, 1, 0.3f));
    // Midpoint 100: a hard step at r = 1.
    const cv::Mat step = vignetted(grey, 100, 100, 0);
    EXPECT_EQ(step.at<cv::Vec4f>(15, 1)[1], 0.5f);
    EXPECT_EQ(step.at<cv::Vec4f>(2, 3)[1], 0.0f);
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
    for (int width : {37, 40, 7, 2, 1}) {
        SCOPED_TRACE(width);
        const cv::Mat v = vignetted(flat(9, width, {0.6f, 0.5f, 0.4f, 1.0f}), 80, 20, -30);
        for (int y = 0; y < v.rows; ++y)
            for (int x = 1; x < width; ++x)
                ASSERT_EQ(v.at<cv::Vec4f>(y, x), v.at<cv::Vec4f>(y, width - x)) << x << "," << y;
        if (width > 4) { EXPECT_NE(v.at<cv::Vec4f>(4, 1), v.at<cv::Vec4f>(4, width / 2)); }
    }
}

TEST(Grain, MonochromeNoiseOfTheRequestedDeviation) {
    cv::theRNG().state = 12345;
    const cv::Mat grey = flat(96, 96, {0.5f, 0.5f, 0.5f, 0.3f});
    for (float size : {0.0f, 25.0f, 100.0f}) {
        const cv::Mat out = grained(grey, 100, size);
        const cv::Mat r = channel(out, 0);
        EXPECT_TRUE(identical(r, channel(out, 1)) && identical(r, channel(out, 2)));
        cv::Scalar mean, deviation;
        cv::meanStdDev(r - 0.5f, mean, deviation);
        EXPECT_NEAR(mean[0], 0.0, 0.005) << size;
        EXPECT_NEAR(deviation[0], 0.05, 0.004) << size;
    }
    // Clamped at both ends, alpha kept (absurd strengths and sizes: see StageSettings).
    const cv::Mat edges = noise(20, 20, -0.2f, 1.2f), out = grained(edges, 100, 25);
    EXPECT_TRUE(colours_in_unit_range(out));
    EXPECT_TRUE(identical(channel(out, 3), channel(edges, 3)));
}
