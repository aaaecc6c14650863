#pragma once
// The 256-bin luminance histogram the analyses measure, with its median and
// spread. Shared by the automatic analyses and the operations library.

#include <opencv2/core.hpp>

#include <array>
#include <cstdint>

namespace vornalix::histogram {

constexpr int kBins = 256;
using Counts = std::array<std::uint32_t, kBins>;

// Bin of a 0..1 value: trunc(255 v + offset) (fused), clamped to 0..255; the
// analyses round (offset 0.5), some estimators truncate (offset 0).
// Values below 0 and NaN land in bin 0, values above 1 in bin 255.
int bin(float v, float offset = 0.5f);

// Luminance of every pixel of a float R, G, B(, A) image (per-pixel Rec. 709).
Counts of_luminance(const cv::Mat& rgb_float);
// Every value of a one-channel float plane.
Counts of_plane(const cv::Mat& plane);

// Zeroes the four arrays of kBins counters, then counts R, G, B and the
// luminance of every pixel of a four-channel float image (alpha ignored).
void count_channels(const cv::Mat& rgba_float, unsigned* red, unsigned* green, unsigned* blue,
                    unsigned* luminance);

// Median rule: 0.5 for an empty histogram; otherwise b / 255 for the first bin
// b whose running sum reaches trunc(N / 2), N/2 taken in single precision.
float median(const std::uint32_t* counts);
// Standard deviation with bin b standing for b / 255 (double precision
// inside); 0 when the histogram holds no pixel.
float spread(const std::uint32_t* counts);

}  // namespace vornalix::histogram
