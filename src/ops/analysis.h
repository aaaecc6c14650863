#pragma once
// Standalone histogram analysis: 256-bin histograms of a float image and the
// exposure and tone suggestions derived from a luminance histogram, bin for
// bin as the automatic analyses measure them. Internal to the library.

#include <opencv2/core.hpp>

namespace vornalix::analysis {

// Zeroes the four 256-counter arrays, then counts R, G, B and the luminance of
// every pixel of a four-channel float image. An empty image or one of another
// type throws std::invalid_argument (after the counters are zeroed).
void compute_histogram(cv::Mat const& image, unsigned int* red, unsigned int* green, unsigned int* blue,
                       unsigned int* luminance);

// Exposure suggestion in EV (-1..1), as auto-enhance computes it.
void auto_exposure_from_histogram(unsigned int const* histogram, float& exposure);

// Contrast (-20..25), highlights (down to -50), shadows (0..30), whites 0, blacks 5.
void auto_tone_from_histogram(unsigned int const* histogram, float& contrast, float& highlights, float& shadows,
                              float& whites, float& blacks);

}  // namespace vornalix::analysis
