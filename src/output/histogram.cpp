#include "output/histogram.h"

#include "pipeline/pixel.h"

#include <algorithm>
#include <cmath>

namespace vornalix::output {

int histogram_bin(float v) {
    const float scaled = 255.0f * v + 0.5f;
    // Out-of-range and NaN values fall into the end bins before any conversion.
    if (!(scaled >= 0.0f)) return 0;
    if (scaled >= static_cast<float>(kHistogramBins - 1)) return kHistogramBins - 1;
    return static_cast<int>(scaled);
}

void compute_histograms(const ImageBuffer& image, unsigned* red, unsigned* green, unsigned* blue,
                        unsigned* luminance) {
    std::fill(red, red + kHistogramBins, 0u);
    std::fill(green, green + kHistogramBins, 0u);
    std::fill(blue, blue + kHistogramBins, 0u);
    std::fill(luminance, luminance + kHistogramBins, 0u);
    const cv::Mat f = image.to_float();
    for (int y = 0; y < f.rows; ++y) {
        const auto* px = f.ptr<cv::Vec4f>(y);
        for (int x = 0; x < f.cols; ++x) {
            const float r = px[x][0], g = px[x][1], b = px[x][2];
            ++red[histogram_bin(r)];
            ++green[histogram_bin(g)];
            ++blue[histogram_bin(b)];
            ++luminance[histogram_bin(pixel::luminance(r, g, b))];
        }
    }
}

}  // namespace vornalix::output
