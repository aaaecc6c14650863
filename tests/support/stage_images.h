#pragma once
// Small float R, G, B, A working images for driving pipeline stages directly.

#include "pipeline/pipeline.h"

#include <opencv2/core.hpp>

#include <cmath>
#include <cstring>
#include <limits>

namespace test_images {

inline cv::Mat flat(int rows, int cols, cv::Vec4f value) { return cv::Mat(rows, cols, CV_32FC4, cv::Scalar(value)); }

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
    cv::RNG rng(seed);
    rng.fill(m, cv::RNG::UNIFORM, cv::Scalar::all(lo), cv::Scalar::all(hi));
    std::vector<cv::Mat> planes;
    cv::split(m, planes);
    planes[3].setTo(1.0f);
    cv::merge(planes, m);
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

// Runs one stage on its own, e.g. run_stage(&vornalix::Pipeline::apply_grain, in, e),
// on a copy of `in`.
inline cv::Mat run_stage(void (vornalix::Pipeline::*stage)(cv::Mat&, const vornalix::EditParams&), const cv::Mat& in,
                         const vornalix::EditParams& e) {
    vornalix::Pipeline p;
    cv::Mat m = in.clone();
    (p.*stage)(m, e);
    return m;
}

inline bool all_finite(const cv::Mat& m) { return cv::checkRange(m, true); }  // no NaN, no infinity

// Every colour value finite and within [0, 1].
inline bool colours_in_unit_range(const cv::Mat& m) {
    for (int y = 0; y < m.rows; ++y)
        for (int x = 0; x < m.cols; ++x)
            for (int c = 0; c < 3; ++c) {
                const float v = m.at<cv::Vec4f>(y, x)[c];
                if (!(v >= 0.0f && v <= 1.0f)) return false;
            }
    return true;
}

inline cv::Mat channel(const cv::Mat& m, int c) {
    cv::Mat plane;
    cv::extractChannel(m, plane, c);
    return plane;
}

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

}  // namespace test_images
