#include "auto/white_balance.h"

#include "pipeline/pixel.h"
#include "pipeline/tone_math.h"

#include <algorithm>
#include <cmath>

namespace vornalix::analysis {

namespace {

constexpr float kClipped = 0.98f;       // any channel at or above: clipped
constexpr float kVeryDark = 0.02f;      // luminance below: mostly noise
constexpr float kMaxSaturation = 0.1f;  // (max - min) / max once corrected
// Power of the mean: high enough that bright near-grey surfaces (clouds,
// walls) outweigh a picture's dominant colour, short of the single brightest.
constexpr double kNorm = 16.0;
constexpr int kRefinements = 3;         // passes that drop coloured pixels
constexpr float kMinKelvin = 2000.0f;   // the temperature setting's range
constexpr float kMaxKelvin = 12000.0f;
constexpr float kMaxTint = 150.0f;

// Power mean of R, G, B over the trusted pixels; `gains` is the correction
// found so far, under which a trusted pixel must look nearly grey (none: no
// check). False when no pixel qualifies.
bool trusted_mean(const cv::Mat& rgb, const cv::Vec3d* gains, cv::Vec3d& mean) {
    cv::Vec3d sum(0, 0, 0);
    double count = 0;
    const int channels = rgb.channels();
    for (int y = 0; y < rgb.rows; ++y) {
        const float* p = rgb.ptr<float>(y);
        for (int x = 0; x < rgb.cols; ++x, p += channels) {
            const float r = p[0], g = p[1], b = p[2];
            if (std::max({r, g, b}) >= kClipped || pixel::luminance(r, g, b) < kVeryDark) continue;
            if (gains) {
                const double cr = r * (*gains)[0], cg = g * (*gains)[1], cb = b * (*gains)[2];
                const double top = std::max({cr, cg, cb});
                if (top - std::min({cr, cg, cb}) > kMaxSaturation * top) continue;
            }
            sum += cv::Vec3d(std::pow(r, kNorm), std::pow(g, kNorm), std::pow(b, kNorm));
            ++count;
        }
    }
    if (count == 0) return false;
    for (int c = 0; c < 3; ++c) mean[c] = std::pow(sum[c] / count, 1.0 / kNorm);
    return true;
}

// Red over blue of the stage's multipliers at `kelvin`; falls as kelvin rises.
float red_over_blue(float kelvin) {
    const tone::Rgb m = tone::white_balance_multipliers(kelvin, 0.0f);
    return m.r / m.b;
}

// The stage's terms for the multipliers that turn `mean` grey: the
// temperature fixes red against blue (found by bisection, the ratio being
// monotone), the tint then brings green level with red.
WhiteBalance stage_terms(const cv::Vec3d& mean) {
    const float wanted = static_cast<float>(mean[2] / mean[0]);
    float low = kMinKelvin, high = kMaxKelvin;
    for (int i = 0; i < 40; ++i) {
        const float mid = 0.5f * (low + high);
        (red_over_blue(mid) > wanted ? low : high) = mid;
    }
    WhiteBalance wb;
    wb.temperature = 0.5f * (low + high);
    const tone::Rgb m = tone::white_balance_multipliers(wb.temperature, 0.0f);
    const float green = static_cast<float>(m.r * mean[0] / mean[1]);
    wb.tint = std::clamp((green - m.g) / tone::kTintPerUnit, -kMaxTint, kMaxTint);
    return wb;
}

}  // namespace

WhiteBalance measure_white_balance(const cv::Mat& rgb_float) {
    cv::Vec3d mean;
    if (rgb_float.empty() || !trusted_mean(rgb_float, nullptr, mean) || mean[0] <= 0 || mean[2] <= 0)
        return WhiteBalance{};
    for (int pass = 0; pass < kRefinements; ++pass) {
        const cv::Vec3d gains(mean[1] / mean[0], 1.0, mean[1] / mean[2]);
        cv::Vec3d refined;
        if (!trusted_mean(rgb_float, &gains, refined) || refined[0] <= 0 || refined[2] <= 0) break;
        mean = refined;
    }
    return stage_terms(mean);
}

}  // namespace vornalix::analysis
