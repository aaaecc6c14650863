#pragma once
// The four 256-bin histograms (R, G, B, luminance) of a rendered image.

#include "image/image_buffer.h"

namespace vornalix::output {

// Zeroes the four arrays of histogram::kBins counters and counts every pixel
// of `image` once in each (the shared bin rule); alpha is ignored.
void compute_histograms(const ImageBuffer& image, unsigned* red, unsigned* green, unsigned* blue,
                        unsigned* luminance);

}  // namespace vornalix::output
