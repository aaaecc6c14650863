#pragma once
// Comparing two 16-bit R, G, B, A renders that should show the same picture.

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>

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
// hue window, a table entry), a last-bit change flips the branch. Prints the
// worst pixel and the outlier count.
inline void expect_close(const cv::Mat& actual, const cv::Mat& expected, int levels = 2,
                         double outlier_share = 0.001) {
    ASSERT_EQ(actual.size(), expected.size());
    ASSERT_EQ(actual.type(), CV_16UC4);
    ASSERT_EQ(expected.type(), CV_16UC4);
    int worst = 0, outliers = 0;
    cv::Point worst_at;
    for (int y = 0; y < actual.rows; ++y)
        for (int x = 0; x < actual.cols; ++x) {
            const cv::Vec4w a = actual.at<cv::Vec4w>(y, x), e = expected.at<cv::Vec4w>(y, x);
            int diff = 0;
            for (int c = 0; c < 4; ++c) diff = std::max(diff, std::abs(int(a[c]) - int(e[c])));
            if (diff > levels) ++outliers;
            if (diff > worst) {
                worst = diff;
                worst_at = {x, y};
            }
        }
    const double allowed = outlier_share * actual.total();
    EXPECT_LE(outliers, allowed) << "worst difference " << worst << " levels at (" << worst_at.x << ", "
                                 << worst_at.y << "), " << outliers << " pixels beyond " << levels << " levels";
    if (worst > levels)
        std::printf("  worst difference %d levels at (%d, %d); %d of %zu pixels beyond %d levels\n", worst,
                    worst_at.x, worst_at.y, outliers, actual.total(), levels);
}

}  // namespace render_compare
