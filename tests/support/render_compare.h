#pragma once
// Comparing two 16-bit R, G, B, A renders that should show the same picture.

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace render_compare {

// PNG files keep B, G, R, A order.
inline cv::Mat bgra(const cv::Mat& rgba) {
    cv::Mat out;
    cv::cvtColor(rgba, out, cv::COLOR_RGBA2BGRA);
    return out;
}
inline cv::Mat rgba(const cv::Mat& bgra) {
    cv::Mat out;
    cv::cvtColor(bgra, out, cv::COLOR_BGRA2RGBA);
    return out;
}

// Every channel within `levels` 16-bit levels, except at most `outlier_share`
// of the pixels: where a value sits on a hard threshold (a sharpening mask, a
// hue window, a table entry), a last-bit change flips the branch. Reports the
// worst pixel and the outlier count.
inline void expect_close(const cv::Mat& actual, const cv::Mat& expected, int levels = 2,
                         double outlier_share = 0.001) {
    ASSERT_EQ(actual.size(), expected.size());
    ASSERT_EQ(actual.type(), CV_16UC4);
    ASSERT_EQ(expected.type(), CV_16UC4);
    cv::Mat diff, per_pixel;
    cv::absdiff(actual, expected, diff);
    cv::reduce(diff.reshape(1, static_cast<int>(diff.total())), per_pixel, 1, cv::REDUCE_MAX);
    double worst;
    cv::Point at;
    cv::minMaxLoc(per_pixel, nullptr, &worst, nullptr, &at);
    const int outliers = cv::countNonZero(per_pixel > levels);
    EXPECT_LE(outliers, outlier_share * actual.total())
        << "worst difference " << worst << " levels at (" << at.y % actual.cols << ", " << at.y / actual.cols << "), "
        << outliers << " pixels beyond " << levels << " levels";
}

}  // namespace render_compare
