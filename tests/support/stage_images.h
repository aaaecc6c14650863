#pragma once
// Small float R, G, B, A working images for driving pipeline stages and
// operations directly.

#include "pipeline/pipeline.h"
#include "pipeline/pixel.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <utility>

namespace test_images {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

inline cv::Mat flat(int rows, int cols, cv::Vec4f value) { return cv::Mat(rows, cols, CV_32FC4, cv::Scalar(value)); }

// One row with one pixel per colour (or grey level), alpha 1.
inline cv::Mat working_row(std::initializer_list<cv::Vec3f> colours) {
    cv::Mat out, in(1, static_cast<int>(colours.size()), CV_32FC3, const_cast<cv::Vec3f*>(colours.begin()));
    return cv::cvtColor(in, out, cv::COLOR_RGB2RGBA), out;
}
inline cv::Mat grey_row(std::initializer_list<float> values) {
    cv::Mat out, in(1, static_cast<int>(values.size()), CV_32F, const_cast<float*>(values.begin()));
    return cv::cvtColor(in, out, cv::COLOR_GRAY2RGBA), out;
}

// R = column * scale, G = row * scale, B 0.5, alpha 0.25: shows where a stage
// that moves pixels took each one from. Linear ramps, which bilinear sampling
// reproduces exactly; beyond 1 unless scaled, for stages that never clamp.
inline cv::Mat coordinates(int rows, int cols, float scale = 1.0f) {
    cv::Mat m(rows, cols, CV_32FC4);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x) m.at<cv::Vec4f>(y, x) = {x * scale, y * scale, 0.5f, 0.25f};
    return m;
}

// Reproducible noise in [lo, hi) for the colour channels, alpha 1.
inline cv::Mat noise(int rows, int cols, float lo = 0.0f, float hi = 1.0f, uint64_t seed = 7) {
    cv::Mat m(rows, cols, CV_32FC4);
    cv::RNG(seed).fill(m, cv::RNG::UNIFORM, cv::Scalar::all(lo), cv::Scalar::all(hi));
    m.reshape(1, static_cast<int>(m.total())).col(3).setTo(1.0f);
    return m;
}

// Same size, type and bytes.
inline bool identical(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type()) return false;
    const size_t row_bytes = a.cols * a.elemSize();
    for (int y = 0; y < a.rows; ++y)
        if (std::memcmp(a.ptr(y), b.ptr(y), row_bytes) != 0) return false;
    return true;
}

using Stage = void (vornalix::Pipeline::*)(cv::Mat&, const vornalix::EditParams&);

// Runs one stage on its own, e.g. run_stage(&vornalix::Pipeline::apply_grain, in, e),
// on a copy of `in`.
inline cv::Mat run_stage(Stage stage, const cv::Mat& in, const vornalix::EditParams& e) {
    vornalix::Pipeline p;
    cv::Mat m = in.clone();
    (p.*stage)(m, e);
    return m;
}

// The same with default settings but for `settings`, e.g. {{&EditParams::dehaze, 50}}.
using Setting = std::pair<float vornalix::EditParams::*, float>;
inline cv::Mat run_stage(Stage stage, const cv::Mat& in, std::initializer_list<Setting> settings) {
    vornalix::EditParams e;
    for (const auto& [field, value] : settings) e.*field = value;
    return run_stage(stage, in, e);
}

inline bool all_finite(const cv::Mat& m) { return cv::checkRange(m, true); }  // no NaN, no infinity

// Every colour value finite and within [0, 1] (`m` continuous).
inline bool colours_in_unit_range(const cv::Mat& m) {
    return m.empty() || cv::checkRange(m.reshape(1, static_cast<int>(m.total())).colRange(0, 3), true, nullptr, 0.0,
                                       std::nextafter(1.0f, 2.0f));
}

inline cv::Mat channel(const cv::Mat& m, int c) {
    cv::Mat plane;
    cv::extractChannel(m, plane, c);
    return plane;
}

inline cv::Vec3f rgb_at(const cv::Mat& m, int x, int y = 0) {
    const auto& p = m.at<cv::Vec4f>(y, x);
    return {p[0], p[1], p[2]};
}

// Colours through the pipeline's own HSL conversions (all 0..1).
inline cv::Vec3f hsl_of(const cv::Vec3f& c) {
    vornalix::pixel::Hsl h;
    vornalix::pixel::rgb_to_hsl(c[0], c[1], c[2], 1e-7f, h);
    return {h.h, h.s, h.l};
}

inline cv::Vec3f rgb_of_hsl(float h, float s, float l) {
    cv::Vec3f c;
    vornalix::pixel::hsl_to_rgb({h, s, l}, c[0], c[1], c[2]);
    return c;
}

inline ::testing::AssertionResult rgb_near(const cv::Vec3f& got, float r, float g, float b, float tol) {
    if (cv::norm(got - cv::Vec3f(r, g, b), cv::NORM_INF) <= tol) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << got << ", want (" << r << ", " << g << ", " << b << ")";
}

}  // namespace test_images

#define EXPECT_RGB_NEAR(actual, r, g, b, tol) EXPECT_TRUE(test_images::rgb_near((actual), (r), (g), (b), (tol)))
