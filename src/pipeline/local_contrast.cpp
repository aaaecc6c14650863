// Clarity and texture (luminance detail at two scales) and dehaze (dark-channel
// haze removal with a Gaussian-smoothed transmission).

#include "pipeline/detail_math.h"
#include "pipeline/pipeline.h"
#include "pipeline/plane_math.h"
#include "pipeline/row_pass.h"
#include "pipeline/stage_loops.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <functional>
#include <climits>
#include <limits>
#include <vector>

namespace vornalix {

namespace {

constexpr int kBins = 4096;  // of the atmospheric light's histogram

// The histogram bin of v, kBins of them from `low` on at per_bin a unit:
// never decreasing in v; NaN and what lies below fall in the first bin,
// what lies above in the last.
template <class T>
auto bin_of(const T& v, float low, float per_bin) {
    using namespace lanes;
    return truncated(min_of(max_of((v - all<T>(low)) * all<T>(per_bin), all<T>(0.0f)), all<T>(kBins - 1.0f)));
}

// Appends to `out` the values of the rows `band` of a plane whose bin is at
// least `from`, four bins at a time: few are, so most fours are passed over.
void gather_binned(const cv::Mat& plane, const cv::Range& band, float low, float per_bin, int from,
                   std::vector<float>& out) {
    for (int y = band.start; y < band.end; ++y) {
        const float* v = plane.ptr<float>(y);
        int x = 0;
        for (; x + 4 <= plane.cols; x += 4) {
            if (!cv::v_check_any(bin_of(cv::v_load(v + x), low, per_bin) >= cv::v_setall_s32(from))) continue;
            for (int i = x; i < x + 4; ++i)
                if (bin_of(v[i], low, per_bin) >= from) out.push_back(v[i]);
        }
        for (; x < plane.cols; ++x)
            if (bin_of(v[x], low, per_bin) >= from) out.push_back(v[x]);
    }
}

// Mean of the brightest 0.1 % of the dark channel, at least 0.01. Only the
// brightest values are put in order, and summed from the brightest down. A
// histogram between the extremes finds a floor they all reach, so only the
// values from it up are gathered. Every pass runs in parallel bands.
float atmospheric_light(const cv::Mat& dark) {
    constexpr double kBrightestFraction = 0.001;
    constexpr float kMinLight = 0.01f;
    const int n = std::max(static_cast<int>(dark.total() * kBrightestFraction), 1);
    double lowest = std::numeric_limits<double>::infinity(), highest = -lowest;
    for_each_band_merged(dark.rows, [&](const cv::Range& band) {
        cv::Vec2d own;  // lowest and highest
        cv::minMaxLoc(dark.rowRange(band), &own[0], &own[1]);
        return own;
    }, [&](const cv::Vec2d& own) {
        lowest = std::min(lowest, own[0]);
        highest = std::max(highest, own[1]);
    });
    const float low = static_cast<float>(lowest);
    const float per_bin = highest > lowest ? static_cast<float>(kBins / (highest - lowest)) : 0.0f;
    std::vector<int> counts(kBins, 0);
    for_each_band_merged(dark.rows, [&](const cv::Range& band) {
        std::vector<int> own(kBins, 0);
        for (int y = band.start; y < band.end; ++y)
            for (const float* v = dark.ptr<float>(y); v != dark.ptr<float>(y) + dark.cols; ++v)
                ++own[bin_of(*v, low, per_bin)];
        return own;
    }, [&](const std::vector<int>& own) {
        for (int i = 0; i < kBins; ++i) counts[i] += own[i];
    });
    int floor_bin = kBins - 1;
    for (int above = counts[floor_bin]; above < n && floor_bin > 0;) above += counts[--floor_bin];
    std::vector<float> values;
    for_each_band_merged(dark.rows, [&](const cv::Range& band) {
        std::vector<float> own;
        gather_binned(dark, band, low, per_bin, floor_bin, own);
        return own;
    }, [&](const std::vector<float>& own) { values.insert(values.end(), own.begin(), own.end()); });
    std::nth_element(values.begin(), values.begin() + (n - 1), values.end(), std::greater<float>());
    std::sort(values.begin(), values.begin() + n, std::greater<float>());
    float sum = 0.0f;
    for (int i = 0; i < n; ++i) sum += values[i];
    return std::max(sum / n, kMinLight);
}

}  // namespace

void Pipeline::apply_clarity_texture(RowPass& pass, const EditParams& params) {
    if (params.clarity == 0.0f && params.texture == 0.0f) return;
    if (!stage_math::all_finite({params.clarity, params.texture}) || pass.empty()) return;
    constexpr double kClaritySigma = 20.0, kTextureSigma = 3.0;
    constexpr float kClarityGain = 0.3f, kTextureGain = 0.2f;

    scratch_.lend_planes(pass.size());
    // One luminance, taken before either step, feeds both detail layers.
    stage_math::luminance_after(pass, scratch_.plane_a);
    const cv::Mat luma = scratch_.plane_a;
    cv::Mat clarity_blur, texture_blur;
    if (params.clarity != 0.0f) {
        stage_math::wide_gaussian_blur(luma, scratch_.plane_b, kClaritySigma * pixel_scale);
        clarity_blur = scratch_.plane_b;
    }
    if (params.texture != 0.0f) {
        stage_math::wide_gaussian_blur(luma, scratch_.plane_c, kTextureSigma * pixel_scale);
        texture_blur = scratch_.plane_c;
    }
    const float clarity_gain = params.clarity / 100.0f * kClarityGain;
    const float texture_gain = params.texture / 100.0f * kTextureGain;
    pass.add(pixel_kernel_by_row([=](int y) {
        const float* l = luma.ptr<float>(y);
        const float* cb = clarity_blur.empty() ? nullptr : clarity_blur.ptr<float>(y);
        const float* tb = texture_blur.empty() ? nullptr : texture_blur.ptr<float>(y);
        return [=](int x, lanes::V v) {
            if (cb) v = stage_math::add_detail_value(v, lanes::all(l[x] - cb[x]), clarity_gain);
            if (tb) v = stage_math::add_detail_value(v, lanes::all(l[x] - tb[x]), texture_gain);
            return v;
        };
    }));
}

void Pipeline::apply_dehaze(RowPass& pass, const EditParams& params) {
    if (!(params.dehaze > 0.0f) || !std::isfinite(params.dehaze) || pass.empty()) return;
    constexpr float kPatchFraction = 0.02f;
    constexpr int kMinPatch = 3;
    constexpr float kStrengthPer100 = 0.95f;
    constexpr double kTransmissionSigma = 5.0;
    constexpr float kMinTransmission = 0.1f;
    // Far past the slider's range 1 - w*Dk/A runs towards -inf; a floor this
    // low changes nothing the final 0.1 bound would keep, but keeps the blur finite.
    constexpr float kMinRawTransmission = -1e6f;

    const int patch = stage_math::odd_patch_size(pass.size().width, kPatchFraction, kMinPatch, INT_MAX);
    scratch_.lend_planes(pass.size());
    stage_math::dark_channel_after(pass, patch, scratch_.plane_a, scratch_.plane_b);
    const cv::Mat& dark = scratch_.plane_b;
    const float light = atmospheric_light(dark);
    const float omega = params.dehaze / 100.0f * kStrengthPer100;

    // 1 - omega * dark / light, evaluated as one scale and offset.
    const float scale = static_cast<float>(-(static_cast<double>(omega) / light));
    cv::Mat& raw = scratch_.plane_a;
    for_each_band(dark.rows, [&](const cv::Range& band) {
        for (int y = band.start; y < band.end; ++y) {
            const float* d = dark.ptr<float>(y);
            float* t = raw.ptr<float>(y);
            for (int x = 0; x < dark.cols; ++x) t[x] = std::max(d[x] * scale + 1.0f, kMinRawTransmission);
        }
    });
    stage_math::wide_gaussian_blur(raw, scratch_.plane_c, kTransmissionSigma * pixel_scale);
    const cv::Mat transmission = scratch_.plane_c;
    pass.add(pixel_kernel_by_row([transmission, light, min_transmission = kMinTransmission](int y) {
        const float* t = transmission.ptr<float>(y);
        return [=](int x, const lanes::V& v) {
            const lanes::V tx = lanes::all(std::max(t[x], min_transmission)), l = lanes::all(light);
            return lanes::clamp01((v - l) / tx + l);
        };
    }));
}

}  // namespace vornalix
