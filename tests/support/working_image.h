#pragma once
// Small float working images (R, G, B, A, alpha 1) for driving stages directly.

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <initializer_list>

// One row with one pixel per colour.
inline cv::Mat working_row(std::initializer_list<cv::Vec3f> colours) {
    cv::Mat m(1, static_cast<int>(colours.size()), CV_32FC4);
    int x = 0;
    for (const auto& c : colours) m.at<cv::Vec4f>(0, x++) = {c[0], c[1], c[2], 1.0f};
    return m;
}

// One row of grey pixels.
inline cv::Mat grey_row(std::initializer_list<float> values) {
    cv::Mat m(1, static_cast<int>(values.size()), CV_32FC4);
    int x = 0;
    for (float v : values) m.at<cv::Vec4f>(0, x++) = {v, v, v, 1.0f};
    return m;
}

// A rows x cols image of varied colours in 0..1 (every channel combination of a
// coarse grid), alpha 1.
inline cv::Mat varied_image(int rows = 9, int cols = 27) {
    cv::Mat m(rows, cols, CV_32FC4);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            m.at<cv::Vec4f>(y, x) = {(x % 3) / 2.0f * (y + 1) / rows, ((x / 3) % 3) / 2.0f,
                                     ((x / 9) % 3) / 2.0f * (rows - y) / rows, 1.0f};
    return m;
}

inline cv::Vec3f rgb_at(const cv::Mat& m, int x, int y = 0) {
    const auto& p = m.at<cv::Vec4f>(y, x);
    return {p[0], p[1], p[2]};
}

inline bool same_bits(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() && a.isContinuous() && b.isContinuous() &&
           std::equal(a.datastart, a.dataend, b.datastart);
}

// Every sample a number in 0..1 and alpha still 1.
inline ::testing::AssertionResult finite_in_unit_range(const cv::Mat& m) {
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x) {
            const auto& p = m.at<cv::Vec4f>(y, x);
            for (int c = 0; c < 3; ++c)
                if (!(p[c] >= 0.0f && p[c] <= 1.0f))
                    return ::testing::AssertionFailure() << "sample " << p[c] << " at (" << x << "," << y << ")";
            if (p[3] != 1.0f) return ::testing::AssertionFailure() << "alpha changed at (" << x << "," << y << ")";
        }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult rgb_near(const cv::Vec3f& got, float r, float g, float b, float tol) {
    const float want[3] = {r, g, b};
    for (int c = 0; c < 3; ++c)
        if (!(std::fabs(got[c] - want[c]) <= tol))
            return ::testing::AssertionFailure() << "got (" << got[0] << ", " << got[1] << ", " << got[2]
                                                 << "), want (" << r << ", " << g << ", " << b << ")";
    return ::testing::AssertionSuccess();
}

#define EXPECT_RGB_NEAR(actual, r, g, b, tol) EXPECT_TRUE(rgb_near((actual), (r), (g), (b), (tol)))
