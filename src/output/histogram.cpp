#include "output/histogram.h"

#include "auto/histogram.h"
#include "pipeline/pixel.h"

#include <algorithm>

namespace vornalix::output {

void compute_histograms(const ImageBuffer& image, unsigned* red, unsigned* green, unsigned* blue,
                        unsigned* luminance) {
    std::fill(red, red + histogram::kBins, 0u);
    std::fill(green, green + histogram::kBins, 0u);
    std::fill(blue, blue + histogram::kBins, 0u);
    std::fill(luminance, luminance + histogram::kBins, 0u);
    const cv::Mat f = image.to_float();
    for (int y = 0; y < f.rows; ++y) {
        const auto* px = f.ptr<cv::Vec4f>(y);
        for (int x = 0; x < f.cols; ++x) {
            const float r = px[x][0], g = px[x][1], b = px[x][2];
            ++red[histogram::bin(r)];
            ++green[histogram::bin(g)];
            ++blue[histogram::bin(b)];
            ++luminance[histogram::bin(pixel::luminance(r, g, b))];
        }
    }
}

}  // namespace vornalix::output
