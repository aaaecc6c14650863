#include "pipeline/stage_math.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>

namespace vornalix::stage_math {

void clamp_plane(cv::Mat& plane) {
    cv::threshold(plane, plane, 0.0, 0.0, cv::THRESH_TOZERO);
    cv::threshold(plane, plane, 1.0, 1.0, cv::THRESH_TRUNC);
}

cv::Mat luminance_plane(const std::vector<cv::Mat>& planes) {
    return 0.2126f * planes[0] + 0.7152f * planes[1] + 0.0722f * planes[2];
}

void add_detail(std::vector<cv::Mat>& planes, const cv::Mat& detail, float gain) {
    for (int c = 0; c < 3; ++c) {
        planes[c] = planes[c] + detail * gain;
        clamp_plane(planes[c]);
    }
}

int max_kernel_size(cv::Size image) { return 2 * std::max(image.width, image.height) + 1; }

int slider_kernel_size(float value, float steps_per_100, int cap) {
    const float steps = value / 100.0f * steps_per_100;
    const int max_steps = (cap - 3) / 2;
    if (!(steps < static_cast<float>(max_steps))) return 2 * std::max(max_steps, 0) + 3;
    return 2 * static_cast<int>(std::max(steps, 0.0f)) + 3;
}

double capped_sigma(double sigma, int cap) { return std::min(sigma, (cap - 1) / 8.0); }

int odd_patch_size(int side, float fraction, int min_size, int max_size) {
    const float scaled = std::min(std::max(side * fraction, 0.0f), static_cast<float>(INT_MAX / 2));
    const int odd = static_cast<int>(scaled) | 1;
    return std::min(std::max(odd, min_size), max_size);
}

cv::Mat dark_channel(const std::vector<cv::Mat>& planes, int patch) {
    cv::Mat minimum = cv::min(cv::min(planes[0], planes[1]), planes[2]);
    cv::Mat dark;
    cv::erode(minimum, dark, cv::Mat::ones(patch, patch, CV_8U), cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
              cv::morphologyDefaultBorderValue());
    return dark;
}

void unsharp_mask(cv::Mat& plane, double sigma, double gain, double threshold) {
    cv::Mat blurred;
    cv::GaussianBlur(plane, blurred, cv::Size(), sigma, 0.0, cv::BORDER_REFLECT_101);
    cv::Mat detail = plane - blurred;
    cv::Mat magnitude, mask;
    cv::absdiff(detail, cv::Mat::zeros(detail.size(), detail.type()), magnitude);
    cv::threshold(magnitude, mask, threshold, 1.0, cv::THRESH_BINARY);
    plane = plane + detail.mul(mask) * gain;
    clamp_plane(plane);
}

namespace {

// Reflecting borders repeat with a fixed period, so a sample coordinate far
// outside the image can be moved by whole periods without changing what it
// reads. This keeps OpenCV's fixed-point conversion and border loop on small
// numbers; coordinates within one image size of the frame are left exact.
float fold_coordinate(float v, int len, int border) {
    if (v >= -len && v <= 2.0f * len) return v;
    if (std::isnan(v)) return 0.0f;
    const double bounded = std::min(std::max(static_cast<double>(v), -1e9), 1e9);
    int period = 0;
    if (border == cv::BORDER_REFLECT) period = 2 * len;
    if (border == cv::BORDER_REFLECT_101) period = 2 * (len - 1);
    if (period <= 0) return bounded < 0 ? -1.0f : static_cast<float>(len);
    return static_cast<float>(bounded - period * std::floor(bounded / period));
}

}  // namespace

void radial_distortion(cv::Mat& image, float k, int interpolation, int border) {
    const float cx = image.cols / 2.0f;
    const float cy = image.rows / 2.0f;
    const float radius = std::max(cx, cy);
    cv::Mat map_x(image.size(), CV_32F), map_y(image.size(), CV_32F);
    for (int y = 0; y < image.rows; ++y) {
        const float ny = (y - cy) / radius;
        const float ny2 = ny * ny;
        auto* mx = map_x.ptr<float>(y);
        auto* my = map_y.ptr<float>(y);
        for (int x = 0; x < image.cols; ++x) {
            const float nx = (x - cx) / radius;
            const float f = 1.0f + k * (nx * nx + ny2);
            mx[x] = fold_coordinate(cx + radius * nx * f, image.cols, border);
            my[x] = fold_coordinate(cy + radius * ny * f, image.rows, border);
        }
    }
    cv::Mat out;
    cv::remap(image, out, map_x, map_y, interpolation, border, cv::Scalar());
    image = out;
}

void fit_channel_to_size(cv::Mat& plane, cv::Size target) {
    if (plane.size() == target) return;
    struct Span {
        int from = 0, to = 0, length = 0;
    };
    auto span = [](int have, int want) {
        Span s;
        if (have >= want) {
            s.from = (have - want) / 2;
            s.length = want;
        } else {
            s.to = (want - have) / 2;
            s.length = have;
        }
        return s;
    };
    const Span sx = span(plane.cols, target.width);
    const Span sy = span(plane.rows, target.height);
    cv::Mat fitted = cv::Mat::zeros(target, plane.type());
    if (sx.length > 0 && sy.length > 0)
        plane(cv::Rect(sx.from, sy.from, sx.length, sy.length))
            .copyTo(fitted(cv::Rect(sx.to, sy.to, sx.length, sy.length)));
    plane = fitted;
}

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

void vignette(cv::Mat& image, float amount, float mid, float den, float ellipse_weight) {
    const float strength = std::fabs(amount);
    const float cx = image.cols / 2.0f;
    const float cy = image.rows / 2.0f;
    for (int y = 0; y < image.rows; ++y) {
        auto* px = image.ptr<cv::Vec4f>(y);
        const float dy = (y - cy) / cy;
        const float ady = std::fabs(dy);
        for (int x = 0; x < image.cols; ++x) {
            const float dx = (x - cx) / cx;
            const float d = std::sqrt(dx * dx + dy * dy);
            const float m = std::max(std::fabs(dx), ady);
            const float r = m + ellipse_weight * (d - m);
            float t = (r - mid) / den;
            t = t > 0.0f ? std::min(t, 1.0f) : 0.0f;  // NaN counts as 0
            const float w = t * t * (3.0f - 2.0f * t) * strength;
            for (int c = 0; c < 3; ++c) {
                const float v = px[x][c];
                px[x][c] = pixel::clamp01(amount > 0.0f ? v * (1.0f - w) : v + (1.0f - v) * w);
            }
        }
    }
}

cv::Mat grain_field(cv::Size size, double sigma, double blur_sigma, double min_deviation) {
    cv::Mat field(size, CV_32F);
    cv::randn(field, 0.0, sigma);
    if (blur_sigma > 0.0) {
        cv::GaussianBlur(field, field, cv::Size(), blur_sigma, 0.0, cv::BORDER_REFLECT_101);
        cv::Scalar mean, deviation;
        cv::meanStdDev(field, mean, deviation);
        if (deviation[0] > min_deviation) field *= sigma / deviation[0];
    }
    return field;
}

}  // namespace vornalix::stage_math
