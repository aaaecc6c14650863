// Standalone histogram analysis on the shared bin, median and spread rules.

#include "ops/analysis.h"

#include "auto/histogram.h"
#include "auto/suggestions.h"
#include "ops/checks.h"

#include <algorithm>
#include <cstdint>

namespace vornalix::analysis {

void compute_histogram(cv::Mat const& image, unsigned int* red, unsigned int* green, unsigned int* blue,
                       unsigned int* luminance) {
    // The counters are zeroed even when the image is refused.
    histogram::count_channels(ops::is_rgba_float(image) ? image : cv::Mat(), red, green, blue, luminance);
    ops::require_rgba_float(image, "compute_histogram");
}

void auto_exposure_from_histogram(unsigned int const* histogram, float& exposure) {
    exposure = exposure_from_median(histogram::median(histogram));
}

void auto_tone_from_histogram(unsigned int const* histogram, float& contrast, float& highlights, float& shadows,
                              float& whites, float& blacks) {
    const float sigma = histogram::spread(histogram);
    std::uint32_t n = 0;
    for (int b = 0; b < histogram::kBins; ++b) n += histogram[b];
    const float clip_high = n < 1 ? 0.0f : static_cast<float>(histogram[255]) / static_cast<float>(n);
    const float clip_low = n < 1 ? 0.0f : static_cast<float>(histogram[0]) / static_cast<float>(n);

    contrast = std::min(std::max(15.0f * (0.15f - sigma) / 0.15f, -20.0f), 25.0f);
    highlights = clip_high > 0.01f ? (500.0f * clip_high < 50.0f ? -500.0f * clip_high : -50.0f) : 0.0f;
    shadows = clip_low > 0.01f ? std::min(400.0f * clip_low, 30.0f) : 0.0f;
    whites = 0.0f;
    blacks = 5.0f;
}

}  // namespace vornalix::analysis
