#include "pipeline/plane_math.h"

#include "image/image_memory.h"
#include "pipeline/pixel.h"
#include "pipeline/row_pass.h"
#include "pipeline/stage_loops.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace vornalix::stage_math {

void clamp_plane(cv::Mat& plane) {
    cv::threshold(plane, plane, 0.0, 0.0, cv::THRESH_TOZERO);
    cv::threshold(plane, plane, 1.0, 1.0, cv::THRESH_TRUNC);
}

cv::Mat luminance_plane(const std::vector<cv::Mat>& planes) { return pixel::luminance(planes[0], planes[1], planes[2]); }

cv::Mat& luminance_after(RowPass& pass, cv::Mat& luma) {
    return plane_after(pass, luma, [](const auto& r, const auto& g, const auto& b) { return pixel::luminance(r, g, b); });
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

namespace {

// A coarsest-level blur narrower than this would sample its Gaussian too coarsely.
constexpr double kMinCoarseSigma = 2.0;
constexpr int kMaxHalvings = 5;

// What is left of a blur's variance at the coarsest of `halvings` levels, in
// that level's pixels: pyrDown and pyrUp each blur with variance 1 in the
// pixels of their finer level, so both ways together take 2 (4^n - 1) / 3.
double coarse_variance(double sigma, int halvings) {
    const double area = std::ldexp(1.0, 2 * halvings);
    return (sigma * sigma - 2.0 * (area - 1.0) / 3.0) / area;
}

}  // namespace

void wide_gaussian_blur(const cv::Mat& src, cv::Mat& dst, double sigma) {
    int halvings = 0;
    while (halvings < kMaxHalvings && coarse_variance(sigma, halvings + 1) >= kMinCoarseSigma * kMinCoarseSigma)
        ++halvings;
    if (halvings == 0 || src.empty()) return gaussian_blur(src, dst, cv::Size(), sigma);
    // Reflected borders as wide as the exact kernel reaches, rounded up so
    // every level halves evenly.
    const int step = 1 << halvings;
    const int border = cvCeil(4.0 * sigma) + step;
    const int right = border + (step - (src.cols + 2 * border) % step) % step;
    const int bottom = border + (step - (src.rows + 2 * border) % step) % step;
    std::vector<cv::Mat> levels(halvings + 1);
    cv::copyMakeBorder(src, levels[0], border, bottom, border, right, cv::BORDER_REFLECT_101);
    for (int i = 1; i <= halvings; ++i) cv::pyrDown(levels[i - 1], levels[i]);
    cv::Mat coarse;
    gaussian_blur(levels[halvings], coarse, cv::Size(), std::sqrt(coarse_variance(sigma, halvings)));
    for (int i = halvings - 1; i >= 0; --i) {
        cv::pyrUp(coarse, levels[i], levels[i].size());
        coarse = levels[i];
    }
    // The result is the inside of the finest level, kept rather than copied out.
    dst = coarse(cv::Rect(border, border, src.cols, src.rows));
}

int max_kernel_size(cv::Size image) { return 2 * std::max(image.width, image.height) + 1; }

int slider_kernel_size(float value, float steps_per_100, int cap) {
    const float steps = value / 100.0f * steps_per_100;
    const int max_steps = (cap - 3) / 2;
    if (!(steps < static_cast<float>(max_steps))) return 2 * std::max(max_steps, 0) + 3;
    return 2 * static_cast<int>(std::max(steps, 0.0f)) + 3;
}

double capped_sigma(double sigma, int cap) { return std::min(sigma, (cap - 1) / 8.0); }

GaussianKernel scaled_kernel(int k, float pixel_scale, int cap) {
    if (pixel_scale == 1.0f) return {cv::Size(k, k), 0.0};
    const double derived = 0.3 * ((k - 1) * 0.5 - 1.0) + 0.8;  // cv::getGaussianKernel's sigma for k
    return {cv::Size(), capped_sigma(derived * pixel_scale, cap)};
}

}  // namespace vornalix::stage_math
