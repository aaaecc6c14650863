// Standalone detail and lens adjustments on the shared detail, dark-channel
// and lens formulas, with their own constants, plus two detail estimators.

#include "ops/adjustments.h"
#include "ops/checks.h"
#include "pipeline/detail_math.h"
#include "pipeline/lens_math.h"
#include "pipeline/plane_math.h"
#include "pipeline/stage_loops.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/photo.hpp>
#include <opencv2/ximgproc/edge_filter.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vornalix::adjustments {

namespace {

float clamp(float v, float lo, float hi) { return v > lo ? std::min(v, hi) : lo; }

// R, G, B as one three-channel 8-bit image (x255, rounded and saturated).
cv::Mat rgb_8bit(const cv::Mat& image) {
    cv::Mat bytes;
    image.convertTo(bytes, CV_8U, 255.0);
    std::vector<cv::Mat> planes;
    cv::split(bytes, planes);
    cv::Mat rgb;
    cv::merge(std::vector<cv::Mat>{planes[0], planes[1], planes[2]}, rgb);
    return rgb;
}

// Back to float R, G, B with an opaque alpha plane.
void set_from_rgb_8bit(cv::Mat& image, const cv::Mat& rgb) {
    cv::Mat f;
    rgb.convertTo(f, CV_32F, 1.0 / 255.0);
    std::vector<cv::Mat> planes;
    cv::split(f, planes);
    planes.push_back(cv::Mat::ones(f.size(), CV_32F));
    cv::merge(planes, image);
}

cv::Mat blurred(const cv::Mat& plane, double sigma) {
    cv::Mat out;
    cv::GaussianBlur(plane, out, cv::Size(), sigma, 0.0, cv::BORDER_REFLECT_101);
    return out;
}

float deviation(const cv::Mat& plane) {
    cv::Scalar mean, dev;
    cv::meanStdDev(plane, mean, dev);
    return static_cast<float>(dev[0]);
}

cv::Mat luminance_of(const cv::Mat& image) {
    std::vector<cv::Mat> planes;
    cv::split(image, planes);
    return stage_math::luminance_plane(planes);
}

// Clarity and texture: adds detail(luminance) to R, G and B at amount / 100
// times `scale`.
template <class Detail>
void add_luminance_detail(cv::Mat& image, float amount, float scale, const char* function, Detail detail) {
    if (amount == 0.0f) return;
    ops::require_rgba_float(image, function);
    if (!std::isfinite(amount)) return;
    std::vector<cv::Mat> planes;
    cv::split(image, planes);
    stage_math::add_detail(planes, detail(stage_math::luminance_plane(planes)), amount / 100.0f * scale);
    cv::merge(planes, image);
}

}  // namespace

void apply_sharpening(cv::Mat& image, float amount, float radius, float threshold) {
    if (!(amount > 0.0f)) return;
    ops::require_rgba_float(image, "apply_sharpening");
    // Without a positive radius there is no blur and so no detail to add.
    if (!stage_math::all_finite({amount, radius, threshold}) || !(radius > 0.0f)) return;
    const float gain = (amount / 150.0f) * 2.0f;
    const float t = threshold / 20.0f * 0.08f;
    const double sigma = stage_math::capped_sigma(radius, stage_math::max_kernel_size(image.size()));
    for_each_colour_plane(image, [&](cv::Mat& plane) { stage_math::unsharp_mask(plane, sigma, gain, t); });
}

void apply_nr_luminance(cv::Mat& image, float strength) {
    if (!(strength > 0.0f)) return;
    ops::require_rgb_float(image, "apply_nr_luminance");
    if (!std::isfinite(strength)) return;
    const cv::Mat rgb = rgb_8bit(image);
    cv::Mat denoised;
    cv::fastNlMeansDenoisingColored(rgb, denoised, strength / 100.0f * 10.0f + 2.0f, 3.0f, 7, 21);
    set_from_rgb_8bit(image, denoised);
}

void apply_nr_color(cv::Mat& image, float strength) {
    if (!(strength > 0.0f)) return;
    ops::require_rgb_float(image, "apply_nr_color");
    if (!std::isfinite(strength)) return;
    // Diameter trunc(s/100 * 9 + 3) made odd, limited in float to the kernel cap.
    const int cap = stage_math::max_kernel_size(image.size());
    const int diameter = static_cast<int>(std::min(strength / 100.0f * 9.0f + 3.0f, static_cast<float>(cap))) | 1;
    const double sigma = strength / 100.0f * 40.0f + 10.0f;

    cv::Mat lab;
    cv::cvtColor(rgb_8bit(image), lab, cv::COLOR_RGB2Lab);
    std::vector<cv::Mat> planes;
    cv::split(lab, planes);
    for (int c = 1; c <= 2; ++c) {
        const cv::Mat source = planes[c].clone();
        cv::bilateralFilter(source, planes[c], diameter, sigma, sigma, cv::BORDER_REFLECT_101);
    }
    cv::merge(planes, lab);
    cv::Mat rgb;
    cv::cvtColor(lab, rgb, cv::COLOR_Lab2RGB);
    set_from_rgb_8bit(image, rgb);
}

void apply_clarity(cv::Mat& image, float amount) {
    add_luminance_detail(image, amount, 0.4f, "apply_clarity", [](const cv::Mat& lum) {
        const cv::Mat detail = lum - blurred(lum, 20.0);
        // Midtone weight: 1 at mid-grey, 0 at black and white.
        cv::Mat centred = lum - 0.5f;
        cv::Mat midtones = 1.0f - 4.0f * centred.mul(centred);
        cv::threshold(midtones, midtones, 0.0, 0.0, cv::THRESH_TOZERO);
        return cv::Mat(detail.mul(midtones));
    });
}

void apply_texture(cv::Mat& image, float amount) {
    add_luminance_detail(image, amount, 0.5f, "apply_texture", [](const cv::Mat& lum) {
        return cv::Mat(blurred(lum, 1.5) - blurred(lum, 4.0));  // difference of Gaussians
    });
}

cv::Mat compute_dark_channel(cv::Mat const& image, int patch) {
    ops::require_rgb_float(image, "compute_dark_channel");
    if (patch < 1) throw std::invalid_argument("compute_dark_channel: patch must be at least 1");
    // A patch past the kernel cap already covers the whole image from every pixel.
    patch = std::min(patch, stage_math::max_kernel_size(image.size()));
    std::vector<cv::Mat> planes;
    cv::split(image, planes);
    return stage_math::dark_channel(planes, patch);
}

void apply_dehaze(cv::Mat& image, float amount) {
    if (!(amount > 0.0f)) return;
    ops::require_rgba_float(image, "apply_dehaze");
    if (!std::isfinite(amount)) return;
    std::vector<cv::Mat> planes;
    cv::split(image, planes);
    cv::Mat hazy;
    cv::merge(std::vector<cv::Mat>{planes[0], planes[1], planes[2]}, hazy);

    const int patch = stage_math::odd_patch_size(std::min(image.rows, image.cols), 0.02f, 5, 21);
    const cv::Mat dark = compute_dark_channel(hazy, patch);

    // Airlight: the mean colour of the pixels among the haziest 0.1 %.
    cv::Mat sorted;
    cv::sort(dark.reshape(1, 1), sorted, cv::SORT_EVERY_ROW | cv::SORT_DESCENDING);
    const int n = std::max(static_cast<int>(sorted.cols * 0.001), 1);
    const float limit = sorted.at<float>(0, n - 1);
    cv::Vec3f light(0.0f, 0.0f, 0.0f);
    int count = 0;
    for (int y = 0; y < hazy.rows; ++y) {
        const auto* px = hazy.ptr<cv::Vec3f>(y);
        const float* d = dark.ptr<float>(y);
        for (int x = 0; x < hazy.cols; ++x)
            if (d[x] >= limit) {
                light += px[x];
                ++count;
            }
    }
    light = count > 0 ? light / static_cast<float>(count) : cv::Vec3f(0.9f, 0.9f, 0.9f);

    cv::Mat normalised;
    cv::divide(hazy, cv::Scalar(std::max(light[0], 0.01f), std::max(light[1], 0.01f), std::max(light[2], 0.01f)),
               normalised);
    const float omega = amount / 100.0f * 0.95f;
    cv::Mat transmission = 1.0 - omega * compute_dark_channel(normalised, patch);

    cv::Mat guide;
    cv::cvtColor(hazy, guide, cv::COLOR_RGB2GRAY);
    cv::ximgproc::createGuidedFilter(guide, patch, 0.001)->filter(transmission, transmission, -1);
    transmission = cv::max(transmission, 0.1);

    for (int y = 0; y < hazy.rows; ++y) {
        const auto* px = hazy.ptr<cv::Vec3f>(y);
        const float* t = transmission.ptr<float>(y);
        for (int c = 0; c < 3; ++c) {
            float* out = planes[c].ptr<float>(y);
            for (int x = 0; x < hazy.cols; ++x)
                out[x] = pixel::clamp01(light[c] + (px[x][c] - light[c]) / t[x]);
        }
    }
    cv::merge(planes, image);
}

void auto_sharpening(cv::Mat const& image, float& amount, float& radius) {
    ops::require_rgba_float(image, "auto_sharpening");
    cv::Mat laplacian;
    cv::Laplacian(luminance_of(image), laplacian, CV_32F, 1, 1.0, 0.0, cv::BORDER_REFLECT_101);
    const float s = deviation(laplacian);
    amount = clamp(20.0f + 80.0f * (0.1f - s) / 0.1f, 0.0f, 100.0f);  // softer images get more
    radius = 1.0f;
}

void auto_noise_reduction(cv::Mat const& image, float& luminance, float& color) {
    ops::require_rgba_float(image, "auto_noise_reduction");
    const cv::Mat lum = luminance_of(image);
    cv::Mat smooth;
    cv::GaussianBlur(lum, smooth, cv::Size(7, 7), 0.0, 0.0, cv::BORDER_REFLECT_101);
    const float s = deviation(lum - smooth);
    luminance = clamp(s / 0.05f * 100.0f, 0.0f, 100.0f);
    color = luminance * 0.5f;
}

void apply_distortion(cv::Mat& image, float amount) {
    if (amount == 0.0f) return;
    ops::require_rgba_float(image, "apply_distortion");
    if (!std::isfinite(amount)) return;
    stage_math::radial_distortion(image, amount / -100.0f * 0.6f, cv::INTER_LANCZOS4, cv::BORDER_REFLECT_101);
}

void apply_ca_correction(cv::Mat& image, float amount) {
    if (!(amount > 0.0f)) return;
    ops::require_rgba_float(image, "apply_ca_correction");
    if (!std::isfinite(amount)) return;
    // Past this the blue plane would shrink to nothing and the red one grow
    // without bound; the slider's range stays far below it.
    constexpr float kMaxShift = 0.99f;
    const float shift = std::min(amount / 100.0f * 0.004f, kMaxShift);
    auto scaled = [&](const cv::Mat& plane, float factor) {
        // trunc(side * f + 0.5), at least one pixel.
        const int w = std::max(static_cast<int>(image.cols * factor + 0.5f), 1);
        const int h = std::max(static_cast<int>(image.rows * factor + 0.5f), 1);
        cv::Mat out;
        cv::resize(plane, out, cv::Size(w, h), 0.0, 0.0, cv::INTER_LINEAR);
        // Each axis is cut or padded about the centre on its own, from the real sizes.
        stage_math::fit_channel_to_size(out, image.size());
        return out;
    };
    std::vector<cv::Mat> planes;
    cv::split(image, planes);
    planes[0] = scaled(planes[0], 1.0f + shift);
    planes[2] = scaled(planes[2], 1.0f - shift);
    cv::merge(planes, image);
}

void apply_lens_vignette(cv::Mat& image, float amount) {
    if (!(amount > 0.0f)) return;
    ops::require_rgba_float(image, "apply_lens_vignette");
    if (!std::isfinite(amount)) return;
    const float a = amount / 100.0f;
    stage_math::radial_gain(image, [a](float r) {
        // cos^4 falloff, floored so the corners' correction stays finite.
        const double c = std::pow(std::cos(r * 3.14159265358979323846 * static_cast<double>(0.45f)), 4.0);
        return static_cast<float>(a * (1.0 / std::max(c, 0.01) - 1.0) + 1.0);
    });
}

void apply_defringe(cv::Mat& image, float amount) {
    if (!(amount > 0.0f)) return;
    ops::require_rgba_float(image, "apply_defringe");
    if (!std::isfinite(amount)) return;
    constexpr float kGreyThreshold = 1e-7f;
    constexpr float kMinSaturation = 0.05f;
    constexpr stage_math::HueWindow kPurple{0.77f, 0.92f}, kGreen{0.22f, 0.38f};
    const float removed = amount / 100.0f;
    stage_math::defringe(
        image, kGreyThreshold, kPurple, kGreen, [](float s) { return s >= kMinSaturation; },
        [removed](float s) { return clamp(s - s * removed, 0.0f, 1.0f); });
}

}  // namespace vornalix::adjustments
