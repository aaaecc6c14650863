#include "auto/histogram.h"

#include "pipeline/pixel.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vornalix::histogram {

int bin(float v, float offset) {
    const float scaled = std::fma(v, 255.0f, offset);
    // Clamp in float first so that NaN and huge values never reach the conversion.
    if (!(scaled >= 0.0f)) return 0;
    if (scaled >= static_cast<float>(kBins - 1)) return kBins - 1;
    return static_cast<int>(scaled);
}

Counts of_luminance(const cv::Mat& rgb_float) {
    if (!rgb_float.empty() && (rgb_float.depth() != CV_32F || rgb_float.channels() < 3))
        throw std::invalid_argument("luminance histogram needs a float image with three or four channels");
    Counts counts{};
    const int channels = rgb_float.channels();
    for (int y = 0; y < rgb_float.rows; ++y) {
        const float* px = rgb_float.ptr<float>(y);
        for (int x = 0; x < rgb_float.cols; ++x, px += channels)
            ++counts[bin(pixel::luminance(px[0], px[1], px[2]))];
    }
    return counts;
}

Counts of_plane(const cv::Mat& plane) {
    if (!plane.empty() && plane.type() != CV_32FC1)
        throw std::invalid_argument("plane histogram needs a one-channel float plane");
    Counts counts{};
    for (int y = 0; y < plane.rows; ++y) {
        const float* v = plane.ptr<float>(y);
        for (int x = 0; x < plane.cols; ++x) ++counts[bin(v[x])];
    }
    return counts;
}

void count_channels(const cv::Mat& rgba_float, unsigned* red, unsigned* green, unsigned* blue,
                    unsigned* luminance) {
    for (unsigned* counts : {red, green, blue, luminance}) std::fill(counts, counts + kBins, 0u);
    for (int y = 0; y < rgba_float.rows; ++y) {
        const auto* px = rgba_float.ptr<cv::Vec4f>(y);
        for (int x = 0; x < rgba_float.cols; ++x) {
            const float r = px[x][0], g = px[x][1], b = px[x][2];
            ++red[bin(r)];
            ++green[bin(g)];
            ++blue[bin(b)];
            ++luminance[bin(pixel::luminance(r, g, b))];
        }
    }
}

float median(const std::uint32_t* counts) {
    std::uint64_t total = 0;
    for (int b = 0; b < kBins; ++b) total += counts[b];
    if (total == 0) return 0.5f;
    const auto half = static_cast<std::uint64_t>(static_cast<float>(total) / 2.0f);
    std::uint64_t running = 0;
    for (int b = 0; b < kBins; ++b) {
        running += counts[b];
        if (running >= half) return static_cast<float>(b) / 255.0f;
    }
    return 1.0f;
}

float spread(const std::uint32_t* counts) {
    double n = 0.0, s1 = 0.0, s2 = 0.0;
    for (int b = 0; b < kBins; ++b) {
        const double v = b / 255.0;
        n += counts[b];
        s1 += v * counts[b];
        s2 += v * v * counts[b];
    }
    if (n < 1.0) return 0.0f;
    const double mean = s1 / n;
    return static_cast<float>(std::sqrt(std::max(s2 / n - mean * mean, 0.0)));
}

}  // namespace vornalix::histogram
