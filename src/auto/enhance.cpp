// Auto-enhance: tone and detail suggestions from the luminance histogram and
// the Laplacian of the 512-wide copy.

#include "auto/analysis_image.h"
#include "auto/histogram.h"
#include "auto/suggestions.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vornalix::analysis {

namespace {

float clamp(float v, float lo, float hi) { return std::min(std::max(v, lo), hi); }

// A flat image (spread below 0.15) gets positive contrast, a spread-out one negative.
float contrast_from_spread(float sigma) { return clamp(15.0f * (0.15f - sigma) / 0.15f, -20.0f, 15.0f); }

// Recovery only when more than 1 % of the pixels sit in the top bin.
float highlights_from_clipping(float clip_high) {
    return clip_high > 0.01f ? std::max(-500.0f * clip_high, -40.0f) : 0.0f;
}

// Shadows are always lifted by at least 15; heavy black clipping lifts up to 25.
float shadows_from_clipping(float clip_low) {
    const float lift = clip_low > 0.01f ? std::min(400.0f * clip_low, 30.0f) : 0.0f;
    return clamp(lift, 15.0f, 25.0f);
}

// Smooth images (little high-frequency energy) get luminance noise reduction.
float noise_reduction_from_detail(float sigma_laplacian) {
    return clamp(20.0f + 80.0f * (0.1f - sigma_laplacian) / 0.1f, 0.0f, 20.0f);
}

float laplacian_spread(const cv::Mat& analysis_image) {
    cv::Mat lap;
    cv::Laplacian(luminance_plane(analysis_image), lap, CV_32F, 1, 1.0, 0.0, cv::BORDER_DEFAULT);
    cv::Scalar mean, stddev;
    cv::meanStdDev(lap, mean, stddev);
    return static_cast<float>(stddev[0]);
}

}  // namespace

float exposure_from_median(float median) {
    constexpr float kTargetMedian = 0.42f;
    constexpr float kShare = 0.35f;
    const float ev = std::log2(kTargetMedian / std::max(median, 0.001f));
    return clamp(kShare * ev, -1.0f, 1.0f);
}

Suggestions enhance_suggestions(const cv::Mat& analysis_image) {
    const histogram::Counts counts = histogram::of_luminance(analysis_image);
    const float m = histogram::median(counts.data());
    const float sigma = histogram::spread(counts.data());

    std::uint32_t n = 0;
    for (std::uint32_t c : counts) n += c;
    const float clip_high = n < 1 ? 0.0f : static_cast<float>(counts[255]) / static_cast<float>(n);
    const float clip_low = n < 1 ? 0.0f : static_cast<float>(counts[0]) / static_cast<float>(n);

    Suggestions out{};
    out[entry::exposure] = exposure_from_median(m);
    out[entry::contrast] = contrast_from_spread(sigma);
    out[entry::highlights] = highlights_from_clipping(clip_high);
    out[entry::shadows] = shadows_from_clipping(clip_low);
    out[entry::blacks] = 5.0f;
    out[entry::temperature] = 6500.0f;  // neutral
    out[entry::vibrance] = 8.0f;
    out[entry::nr_luminance] = noise_reduction_from_detail(laplacian_spread(analysis_image));
    out[entry::nr_color] = 1.0f;
    return out;  // brightness, whites, tint and saturation stay 0
}

}  // namespace vornalix::analysis
