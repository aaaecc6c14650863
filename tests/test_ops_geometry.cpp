#include "ops/effects.h"
#include "ops/geometry.h"
#include "support/working_image.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <stdexcept>

namespace geo = vornalix::geometry;
namespace fx = vornalix::effects;

namespace {

// Single-channel float ramp: value x (or y) at every pixel.
cv::Mat ramp(int rows, int cols, bool along_x) {
    cv::Mat m(rows, cols, CV_32F);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x) m.at<float>(y, x) = static_cast<float>(along_x ? x : y);
    return m;
}

// White picture with dark lines whose right ends lie `tilt` degrees lower.
cv::Mat tilted_lines(float tilt, int rows = 300, int cols = 400) {
    cv::Mat m(rows, cols, CV_32FC4, cv::Scalar(1.0f, 1.0f, 1.0f, 1.0f));
    const double slope = std::tan(tilt * CV_PI / 180.0);
    for (int y0 : {90, 150, 210}) {
        const cv::Point a(40, y0), b(cols - 40, y0 + static_cast<int>(std::lround((cols - 80) * slope)));
        cv::line(m, a, b, cv::Scalar(0.0f, 0.0f, 0.0f, 1.0f), 2, cv::LINE_AA);
    }
    return m;
}

}  // namespace

TEST(OpsGeometry, CropRectanglesAndNeutralGuards) {
    cv::Mat m = ramp(800, 1000, true);
    EXPECT_NE(geo::apply_crop(m, 0, 0, 1, 1).data, m.data);  // a deep copy
    cv::Mat quarter = geo::apply_crop(m, 0.5f, 0.5f, 1, 1);
    ASSERT_EQ(quarter.size(), cv::Size(500, 400));
    EXPECT_EQ(quarter.at<float>(0, 0), 500.0f);
    EXPECT_EQ(geo::apply_crop(m, 0.9995f, 0, 1, 1).cols, 1);  // one pixel is enough
    // Nothing to do, or nothing sensible to do: the input itself comes back.
    for (const cv::Mat& same : {geo::apply_crop(m, 0, 0, 0, 1), geo::apply_crop(m, 1.5f, 0, 1, 1),
                                geo::apply_crop(m, 0, 0, 1e30f, NAN), geo::apply_rotation(m, 0.0f),
                                geo::apply_rotation(m, NAN), geo::apply_perspective(m, 0.0f, 0.0f)})
        EXPECT_EQ(same.data, m.data);
    EXPECT_THROW(geo::apply_rotation(cv::Mat(), 5.0f), std::invalid_argument);
    EXPECT_THROW(geo::apply_flip_h(cv::Mat()), std::invalid_argument);
}

TEST(OpsGeometry, KeystoneRotationAndFlips) {
    // 100 x 80: perspective_h(100) moves the top corners in by 20; a top-edge
    // pixel at x samples (x - 20) * 100 / 60.
    cv::Mat h = geo::apply_perspective_h(ramp(80, 100, true), 100.0f);
    EXPECT_NEAR(h.at<float>(0, 35), 25.0f, 0.1f);
    EXPECT_NEAR(h.at<float>(79, 35), 35.0f, 0.5f);  // the bottom edge stays
    // perspective_v(100) moves the top edge down to 16: y samples (y - 16) * 80 / 64.
    cv::Mat v = geo::apply_perspective_v(ramp(80, 100, false), 100.0f);
    EXPECT_NEAR(v.at<float>(48, 50), 40.0f, 0.05f);
    // Counter-clockwise about (10.5, 10.5) on 21 x 21: row y samples column 21 - y.
    const cv::Mat m = ramp(21, 21, true);
    EXPECT_NEAR(geo::apply_rotation(m, 90.0f).at<float>(15, 10), 6.0f, 0.05f);
    EXPECT_EQ(geo::apply_flip_h(m).at<float>(3, 0), 20.0f);
    EXPECT_EQ(geo::apply_flip_v(ramp(5, 3, false)).at<float>(0, 1), 4.0f);
}

TEST(OpsHorizon, MeasuresAndLevelsTiltedLines) {
    EXPECT_EQ(geo::negated_median_tilt({{-1.0f, 30.0f}, {0.0f, 30.0f}, {4.0f, 100.0f}}), -4.0f);  // length-weighted
    EXPECT_EQ(geo::negated_median_tilt({}), 0.0f);
    const cv::Mat tilted = tilted_lines(5.0f);
    // Measured on the copy squeezed to three quarters vertically: atan(0.75 tan 5 deg).
    const float angle = geo::detect_horizon_angle(tilted);
    EXPECT_NEAR(angle, -std::atan(0.75 * std::tan(5.0 * CV_PI / 180.0)) * 180.0 / CV_PI, 0.3);
    // Straightened both ways, nothing is left to measure (a wrong turn would leave
    // a tilt of at least a degree).
    const cv::Mat level = geo::auto_straighten(tilted);
    ASSERT_EQ(level.size(), tilted.size());
    EXPECT_NEAR(geo::detect_horizon_angle(level), 0.0f, 0.3f);
    EXPECT_NEAR(geo::detect_horizon_angle(geo::auto_straighten(tilted_lines(-4.0f))), 0.0f, 0.3f);
}

TEST(OpsHorizon, NothingToMeasure) {
    cv::Mat blank(60, 80, CV_32FC4, cv::Scalar::all(0.5));
    EXPECT_EQ(geo::detect_horizon_angle(blank), 0.0f);
    EXPECT_EQ(geo::auto_straighten(blank).data, blank.data);
    EXPECT_EQ(geo::detect_horizon_angle(cv::Mat(60, 80, CV_32FC3, cv::Scalar::all(0.5))), 0.0f);
    EXPECT_TRUE(geo::auto_straighten(cv::Mat()).empty());
    EXPECT_THROW(geo::detect_horizon_angle(cv::Mat(4, 4, CV_16UC3)), std::invalid_argument);
    // A sliver keeps its reduced copy at least one row high and bounded.
    EXPECT_EQ(geo::detect_horizon_angle(cv::Mat(1, 2000, CV_8UC1, cv::Scalar(9))), 0.0f);
    EXPECT_EQ(geo::detect_horizon_angle(cv::Mat(20000, 1, CV_8UC1, cv::Scalar(9))), 0.0f);
}

TEST(OpsAutoCrop, WindowsAndPresets) {
    cv::Mat m(30, 90, CV_32FC4, cv::Scalar(0.2f, 0.2f, 0.2f, 1.0f));
    cv::circle(m, cv::Point(75, 15), 5, cv::Scalar(1.0f, 1.0f, 1.0f, 1.0f), -1);
    float x = -1, y = -1, w = -1, h = -1;
    geo::auto_crop(m, 0.0f, x, y, w, h);  // aspect 0 means 1.5
    EXPECT_NEAR(w * 90.0f / (h * 30.0f), 1.5f, 0.05f);
    EXPECT_GT(x, 0.0f);
    EXPECT_LE(x + w, 1.0f + 1e-6f);
    EXPECT_LE(y + h, 1.0f + 1e-6f);

    // No image, three channels, or windows of zero height (which would score
    // NaN and never be taken): the whole frame.
    for (const auto& [img, aspect] : {std::pair{cv::Mat(), 1.5f}, {cv::Mat(30, 90, CV_32FC3, cv::Scalar::all(0.5)), 1.5f},
                                      {m, INFINITY}}) {
        geo::auto_crop(img, aspect, x, y, w, h);
        EXPECT_EQ(cv::Vec4f(x, y, w, h), cv::Vec4f(0, 0, 1, 1)) << aspect;
    }
}

TEST(OpsEffects, VignetteShapeAndGrain) {
    const cv::Mat grey(10, 10, CV_32FC4, cv::Scalar(0.5f, 0.5f, 0.5f, 1.0f));
    cv::Mat m = grey.clone(), dark = grey.clone();
    // Roundness 0 at dx = dy = 0.8: r = 0.8 + 0.5 (sqrt(1.28) - 0.8) = 0.9657,
    // darkened by the smoothstep of r.
    fx::apply_vignette(m, 100.0f, 0.0f, 0.0f);
    EXPECT_NEAR(rgb_at(m, 9, 9)[0], 0.5f * (1.0f - 0.9657f * 0.9657f * (3.0f - 2.0f * 0.9657f)), 1e-4f);
    fx::apply_vignette(dark, 100.0f, 50.0f, 0.0f);
    EXPECT_RGB_NEAR(rgb_at(dark, 0, 0), 0.0f, 0.0f, 0.0f, 0.0f);
    cv::Mat empty;
    EXPECT_THROW(fx::apply_vignette(empty, 50.0f, 0.0f, 0.0f), std::invalid_argument);

    // Black and white get no grain.
    cv::Mat ends(8, 8, CV_32FC4, cv::Scalar(0.0f, 0.0f, 0.0f, 1.0f));
    ends(cv::Rect(0, 0, 8, 4)).setTo(cv::Scalar(1.0f, 1.0f, 1.0f, 1.0f));
    const cv::Mat same = ends.clone();
    fx::apply_grain(ends, 100.0f, 1.0f);
    EXPECT_LT(cv::norm(ends, same, cv::NORM_INF), 1e-6);

    cv::Mat fine(64, 64, CV_32FC4, cv::Scalar(0.5f, 0.5f, 0.5f, 1.0f)), coarse = fine.clone();
    fx::apply_grain(fine, 100.0f, 1.0f);
    fx::apply_grain(coarse, 100.0f, 100.0f);
    cv::Scalar mean, dev;
    cv::meanStdDev(fine, mean, dev);
    EXPECT_NEAR(dev[0], 0.06, 0.006);  // full strength at mid-grey (the shared field is pinned elsewhere)
    // A large grain size blurs the field: neighbours differ far less.
    const auto step = [](const cv::Mat& m) { return cv::norm(m.colRange(1, 64), m.colRange(0, 63), cv::NORM_L1); };
    EXPECT_LT(step(coarse), 0.5 * step(fine));
}
