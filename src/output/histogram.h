#pragma once
// The four 256-bin histograms (R, G, B, luminance) of a rendered image.

#include "image/image_buffer.h"

namespace vornalix::output {

constexpr int kHistogramBins = 256;

// Bin of a 0..1 value: trunc(255 v + 0.5), clamped to 0..255.
int histogram_bin(float v);

// Zeroes the four arrays of kHistogramBins counters and counts every pixel
// of `image` once in each; alpha is ignored.
void compute_histograms(const ImageBuffer& image, unsigned* red, unsigned* green, unsigned* blue,
                        unsigned* luminance);

}  // namespace vornalix::output
