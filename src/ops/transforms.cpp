// Standalone crop, rotation, keystones and flips on the geometry stage's
// shared rectangle and corner formulas, with Lanczos resampling.

#include "ops/checks.h"
#include "ops/geometry.h"
#include "pipeline/geometry_math.h"
#include "pipeline/plane_math.h"

#include <opencv2/imgproc.hpp>

#include <cmath>

namespace vornalix::geometry {

namespace {

cv::Mat warp_perspective(const cv::Mat& image, const cv::Mat& m) {
    cv::Mat out;
    cv::warpPerspective(image, out, m, image.size(), cv::INTER_LANCZOS4, cv::BORDER_REFLECT_101, cv::Scalar());
    return out;
}

// Keystone that moves only the top corners to (left, top) and (W - left, top).
cv::Mat warp_top_edge(const cv::Mat& image, float left, float top) {
    const float w = static_cast<float>(image.cols);
    const float h = static_cast<float>(image.rows);
    const cv::Point2f from[4] = {{0.0f, 0.0f}, {w, 0.0f}, {w, h}, {0.0f, h}};
    const cv::Point2f to[4] = {{left, top}, {w - left, top}, {w, h}, {0.0f, h}};
    return warp_perspective(image, cv::getPerspectiveTransform(from, to, cv::DECOMP_LU));
}

}  // namespace

cv::Mat apply_crop(cv::Mat const& image, float x, float y, float w, float h) {
    ops::require_non_empty(image, "apply_crop");
    if (!(w > 0.0f) || !(h > 0.0f)) return image;
    const cv::Rect r = stage_math::crop_rectangle(image.size(), x, y, w, h);
    if (r.width < 1 || r.height < 1) return image;
    return image(r).clone();
}

cv::Mat apply_rotation(cv::Mat const& image, float degrees) {
    ops::require_non_empty(image, "apply_rotation");
    // A non-finite angle has no rotation matrix.
    if (degrees == 0.0f || !std::isfinite(degrees)) return image;
    const cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(image.cols * 0.5f, image.rows * 0.5f), degrees, 1.0);
    cv::Mat out;
    cv::warpAffine(image, out, m, image.size(), cv::INTER_LANCZOS4, cv::BORDER_REFLECT_101, cv::Scalar());
    return out;
}

cv::Mat apply_perspective_h(cv::Mat const& image, float amount) {
    ops::require_non_empty(image, "apply_perspective_h");
    if (amount == 0.0f || !std::isfinite(amount)) return image;
    return warp_top_edge(image, amount / 100.0f * image.cols * 0.2f, 0.0f);
}

cv::Mat apply_perspective_v(cv::Mat const& image, float amount) {
    ops::require_non_empty(image, "apply_perspective_v");
    if (amount == 0.0f || !std::isfinite(amount)) return image;
    return warp_top_edge(image, 0.0f, amount / 100.0f * image.rows * 0.2f);
}

cv::Mat apply_perspective(cv::Mat const& image, float h, float v) {
    ops::require_non_empty(image, "apply_perspective");
    if ((h == 0.0f && v == 0.0f) || !stage_math::all_finite({h, v})) return image;
    return warp_perspective(image, stage_math::perspective_matrix(image.size(), h / 100.0f * image.cols * 0.18f,
                                                                   v / 100.0f * image.rows * 0.18f));
}

namespace {

// `axis` as cv::flip takes it: 1 mirrors left to right, 0 top to bottom.
cv::Mat flipped(cv::Mat const& image, int axis, const char* function) {
    ops::require_non_empty(image, function);
    cv::Mat out;
    cv::flip(image, out, axis);
    return out;
}

}  // namespace

cv::Mat apply_flip_h(cv::Mat const& image) { return flipped(image, 1, "apply_flip_h"); }

cv::Mat apply_flip_v(cv::Mat const& image) { return flipped(image, 0, "apply_flip_v"); }

}  // namespace vornalix::geometry
