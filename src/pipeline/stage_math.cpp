#include "pipeline/stage_math.h"

#include "image/image_memory.h"
#include "pipeline/row_pass.h"
#include "pipeline/stage_loops.h"

#include <opencv2/core/hal/intrin.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>

namespace vornalix::stage_math {

void clamp_plane(cv::Mat& plane) {
    cv::threshold(plane, plane, 0.0, 0.0, cv::THRESH_TOZERO);
    cv::threshold(plane, plane, 1.0, 1.0, cv::THRESH_TRUNC);
}

cv::Mat luminance_plane(const std::vector<cv::Mat>& planes) { return pixel::luminance(planes[0], planes[1], planes[2]); }

void luminance_of(const cv::Mat& image, cv::Mat& luma) {
    CV_Assert(image.type() == CV_32FC4);
    create_image(luma, image.size(), CV_32F);
    for_each_band(image.rows, [&](const cv::Range& band) {
        for (int y = band.start; y < band.end; ++y) {
            const auto* px = image.ptr<cv::Vec4f>(y);
            auto* l = luma.ptr<float>(y);
            for (int x = 0; x < image.cols; ++x) l[x] = pixel::luminance(px[x][0], px[x][1], px[x][2]);
        }
    });
}

void gaussian_blur(const cv::Mat& src, cv::Mat& dst, cv::Size kernel, double sigma) {
    CV_Assert(src.data != dst.data || src.empty());
    create_image(dst, src.size(), src.type());
    // A band of a larger matrix takes its border from the rows around it.
    for_each_band(src.rows, [&](const cv::Range& band) {
        cv::Mat out = dst.rowRange(band);
        cv::GaussianBlur(src.rowRange(band), out, kernel, sigma, 0.0, cv::BORDER_REFLECT_101);
    }, bands_per_thread());
}

void add_detail(std::vector<cv::Mat>& planes, const cv::Mat& detail, float gain) {
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < detail.rows; ++y) {
            float* v = planes[c].ptr<float>(y);
            const float* d = detail.ptr<float>(y);
            for (int x = 0; x < detail.cols; ++x) v[x] = add_detail_value(v[x], d[x], gain);
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

namespace {
void erode_square(const cv::Mat& minimum, cv::Mat& dark, int patch) {
    cv::erode(minimum, dark, cv::Mat::ones(patch, patch, CV_8U), cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
              cv::morphologyDefaultBorderValue());
}
}  // namespace

cv::Mat dark_channel(const std::vector<cv::Mat>& planes, int patch) {
    cv::Mat minimum = cv::min(cv::min(planes[0], planes[1]), planes[2]);
    cv::Mat dark;
    erode_square(minimum, dark, patch);
    return dark;
}

void dark_channel_of(const cv::Mat& image, int patch, cv::Mat& minimum, cv::Mat& dark) {
    create_image(minimum, image.size(), CV_32F);
    for_each_band(image.rows, [&](const cv::Range& band) {
        for (int y = band.start; y < band.end; ++y) {
            const auto* px = image.ptr<cv::Vec4f>(y);
            float* m = minimum.ptr<float>(y);
            for (int x = 0; x < image.cols; ++x) m[x] = std::min(std::min(px[x][0], px[x][1]), px[x][2]);
        }
    });
    erode_square(minimum, dark, patch);
}

void unsharp_mask(cv::Mat& plane, double sigma, double gain, double threshold) {
    cv::Mat blurred;
    gaussian_blur(plane, blurred, cv::Size(), sigma);
    for (int y = 0; y < plane.rows; ++y) {
        auto* v = plane.ptr<float>(y);
        const auto* b = blurred.ptr<float>(y);
        for (int x = 0; x < plane.cols; ++x)
            v[x] = unsharp_value(v[x], b[x], static_cast<float>(gain), static_cast<float>(threshold));
    }
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

void radial_distortion(const cv::Mat& image, cv::Mat& out, cv::Mat& map_x, cv::Mat& map_y, float k,
                       int interpolation, int border) {
    const float cx = image.cols / 2.0f;
    const float cy = image.rows / 2.0f;
    const float radius = std::max(cx, cy);
    create_image(map_x, image.size(), CV_32F);
    create_image(map_y, image.size(), CV_32F);
    for_each_band(image.rows, [&](const cv::Range& band) {
        for (int y = band.start; y < band.end; ++y) {
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
    });
    create_image(out, image.size(), image.type());
    cv::remap(image, out, map_x, map_y, interpolation, border, cv::Scalar());
}

void radial_distortion(cv::Mat& image, float k, int interpolation, int border) {
    cv::Mat out, map_x, map_y;
    radial_distortion(image, out, map_x, map_y, k, interpolation, border);
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

namespace {

// Vignette weight of one pixel from its offsets dx, dy (in half sizes), as
// vignette() describes; written once for a scalar and a four-lane type.
template <class T>
T vignette_weight(T dx, T dy, T ady, float mid, float den, float ellipse_weight, float strength) {
    using namespace lanes;
    const T d = sqrt_of(dx * dx + dy * dy);
    const T m = max_of(abs_of(dx), ady);
    const T r = m + all<T>(ellipse_weight) * (d - m);
    const T t = clamp01((r - all<T>(mid)) / all<T>(den));
    return t * t * (all<T>(3.0f) - all<T>(2.0f) * t) * all<T>(strength);
}

}  // namespace

void vignette_row(cv::Size image, int y, cv::Vec4f* px, float amount, float mid, float den, float ellipse_weight) {
    const float strength = std::fabs(amount);
    const float cx = image.width / 2.0f;
    const float cy = image.height / 2.0f;
    const float dy = (y - cy) / cy;
    const float ady = std::fabs(dy);
    cv::AutoBuffer<float, 4096> weights(image.width);
    float* w = weights.data();
    // The weight is even in dx, and column width - x lies exactly as far
    // right of the centre as x lies left of it (all half-integers, exact in
    // float): only the left half and the centre are computed.
    const int computed = std::min(image.width, image.width / 2 + 1);
    int x = 0;
    for (; x + 4 <= computed; x += 4) {
        const lanes::V xs(float(x), float(x + 1), float(x + 2), float(x + 3));
        const lanes::V dx = (xs - lanes::all(cx)) / lanes::all(cx);
        cv::v_store(w + x, vignette_weight<lanes::V>(dx, lanes::all(dy), lanes::all(ady), mid, den, ellipse_weight, strength));
    }
    for (; x < computed; ++x) w[x] = vignette_weight<float>((x - cx) / cx, dy, ady, mid, den, ellipse_weight, strength);
    for (; x < image.width; ++x) w[x] = w[image.width - x];
    const lanes::V colour = lanes::colour_mask(), one = lanes::all(1.0f);
    for (x = 0; x < image.width; ++x) {
        const lanes::V v = cv::v_load(px[x].val);
        const lanes::V wx = lanes::all(w[x]);
        const lanes::V out = amount > 0.0f ? v * (one - wx) : v + (one - v) * wx;
        cv::v_store(px[x].val, cv::v_select(colour, lanes::clamp01(out), v));
    }
}

void vignette(cv::Mat& image, float amount, float mid, float den, float ellipse_weight) {
    for (int y = 0; y < image.rows; ++y)
        vignette_row(image.size(), y, image.ptr<cv::Vec4f>(y), amount, mid, den, ellipse_weight);
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
