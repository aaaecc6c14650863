#include "pipeline/geometry_math.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace vornalix::stage_math {

cv::Rect crop_rectangle(cv::Size image, float x, float y, float w, float h) {
    // trunc(f * side) clamped to [0, side] in float first: NaN counts as 0.
    auto scaled = [](float fraction, int side) {
        const float v = fraction * static_cast<float>(side);
        if (!(v > 0.0f)) return 0;
        return static_cast<int>(std::min(v, static_cast<float>(side)));
    };
    cv::Rect r;
    r.x = scaled(x, image.width);
    r.y = scaled(y, image.height);
    r.width = std::min(scaled(w, image.width), image.width - r.x);
    r.height = std::min(scaled(h, image.height), image.height - r.y);
    return r;
}

cv::Mat perspective_matrix(cv::Size image, float dx, float dy) {
    const float w = static_cast<float>(image.width);
    const float h = static_cast<float>(image.height);
    const cv::Point2f from[4] = {{0.0f, 0.0f}, {w, 0.0f}, {w, h}, {0.0f, h}};
    const cv::Point2f to[4] = {{dx, dy}, {w - dx, dy}, {w + dx, h - dy}, {-dx, h - dy}};
    return cv::getPerspectiveTransform(from, to, cv::DECOMP_LU);
}

}  // namespace vornalix::stage_math
