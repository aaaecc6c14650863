// Standalone estimates for the adjustments: exposure from the median
// luminance, tone from clipping and spread, white balance by grey world.

#include "auto/analysis_image.h"
#include "auto/histogram.h"
#include "ops/adjustments.h"
#include "ops/checks.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace vornalix::adjustments {

namespace {

// NaN goes to the lower limit.
float clamp(float v, float lo, float hi) { return v > lo ? std::min(v, hi) : lo; }

// Luminance plane and its histogram of float counts; a value goes to bin
// trunc(255 Y), kept within the 256 bins at both ends.
struct LuminanceHistogram {
    cv::Mat luminance;
    std::array<float, histogram::kBins> counts{};
    int pixels = 0;
};

LuminanceHistogram luminance_histogram(const cv::Mat& img, const char* function) {
    ops::require_rgba_float(img, function);
    LuminanceHistogram out;
    out.luminance = analysis::luminance_plane(img);
    out.pixels = img.rows * img.cols;
    for (int y = 0; y < out.luminance.rows; ++y) {
        const float* v = out.luminance.ptr<float>(y);
        for (int x = 0; x < out.luminance.cols; ++x) out.counts[histogram::bin(v[x], 0.0f)] += 1.0f;
    }
    return out;
}

float share_of_bins(const LuminanceHistogram& h, int first, int last) {
    float sum = 0.0f;
    for (int b = first; b <= last; ++b) sum += h.counts[b];
    return sum / static_cast<float>(h.pixels);
}

}  // namespace

float auto_exposure_ev(cv::Mat const& img) {
    const LuminanceHistogram h = luminance_histogram(img, "auto_exposure_ev");
    constexpr float kTarget = 0.18f;  // middle grey
    const float half = static_cast<float>(h.pixels) / 2.0f;
    float median = 0.5f, running = 0.0f;
    for (int b = 0; b < histogram::kBins; ++b) {
        running += h.counts[b];
        if (running >= half) {
            median = static_cast<float>(b) / 255.0f;
            break;
        }
    }
    return clamp(std::log2(kTarget / std::max(median, 0.001f)), -3.0f, 3.0f);
}

void auto_tone(cv::Mat const& img, float& contrast, float& highlights, float& shadows, float& whites,
               float& blacks) {
    const LuminanceHistogram h = luminance_histogram(img, "auto_tone");
    const float clipped_high = share_of_bins(h, 248, 255);
    const float clipped_low = share_of_bins(h, 0, 6);
    cv::Scalar mean, deviation;
    cv::meanStdDev(h.luminance, mean, deviation);
    const float sigma = static_cast<float>(deviation[0]);

    contrast = clamp(40.0f * (0.2f - sigma) / 0.2f, -50.0f, 50.0f);
    highlights = clipped_high > 0.01f ? -std::min(800.0f * clipped_high, 80.0f) : 0.0f;
    shadows = clipped_low > 0.01f ? std::min(600.0f * clipped_low, 60.0f) : 0.0f;
    whites = 0.0f;
    blacks = 0.0f;
}

void auto_white_balance(cv::Mat const& img, float& temperature, float& tint) {
    ops::require_rgba_float(img, "auto_white_balance");
    double sum[3] = {0.0, 0.0, 0.0};
    for (int y = 0; y < img.rows; ++y) {
        const auto* px = img.ptr<cv::Vec4f>(y);
        for (int x = 0; x < img.cols; ++x)
            for (int c = 0; c < 3; ++c) sum[c] += px[x][c];
    }
    const double n = static_cast<double>(img.rows) * img.cols;
    const float r = static_cast<float>(sum[0] / n);
    const float g = static_cast<float>(sum[1] / n);
    const float b = static_cast<float>(sum[2] / n);
    const float mean = (g + r + b) / 3.0f;
    constexpr float kNeutral = 5500.0f;
    if (mean < 1e-6f) {
        temperature = kNeutral;
        tint = 0.0f;
        return;
    }
    const float rg = r / (g + 1e-9f);
    const float bg = b / (g + 1e-9f);
    const float t = kNeutral / std::sqrt(rg * (1.0f / bg + 1e-9f));
    // Without red and blue (0 times infinity) there is no colour cast to measure.
    temperature = std::isnan(t) ? kNeutral : clamp(t, 2000.0f, 12000.0f);
    tint = clamp(-150.0f * (g / (mean + 1e-9f) - 1.0f), -150.0f, 150.0f);
}

}  // namespace vornalix::adjustments
