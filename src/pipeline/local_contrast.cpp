// Clarity and texture (luminance detail at two scales) and dehaze (dark-channel
// haze removal with a Gaussian-smoothed transmission).

#include "pipeline/pipeline.h"
#include "pipeline/stage_math.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <vector>

namespace vornalix {

namespace {

// Mean of the brightest 0.1 % of the dark channel, at least 0.01.
float atmospheric_light(const cv::Mat& dark) {
    constexpr double kBrightestFraction = 0.001;
    constexpr float kMinLight = 0.01f;
    cv::Mat sorted;
    cv::sort(dark.reshape(1, 1), sorted, cv::SORT_EVERY_ROW | cv::SORT_DESCENDING);
    const int n = std::max(static_cast<int>(sorted.cols * kBrightestFraction), 1);
    const float* v = sorted.ptr<float>(0);
    float sum = 0.0f;
    for (int i = 0; i < n; ++i) sum += v[i];
    return std::max(sum / n, kMinLight);
}

}  // namespace

void Pipeline::apply_clarity_texture(cv::Mat& working, const EditParams& params) {
    if (params.clarity == 0.0f && params.texture == 0.0f) return;
    if (!stage_math::all_finite({params.clarity, params.texture}) || working.empty()) return;
    constexpr double kClaritySigma = 20.0, kTextureSigma = 3.0;
    constexpr float kClarityGain = 0.3f, kTextureGain = 0.2f;

    std::vector<cv::Mat> planes;
    cv::split(working, planes);
    // One luminance, taken before either step, feeds both detail layers.
    const cv::Mat luma = stage_math::luminance_plane(planes);
    cv::Mat blurred;
    if (params.clarity != 0.0f) {
        cv::GaussianBlur(luma, blurred, cv::Size(), kClaritySigma, 0.0, cv::BORDER_REFLECT_101);
        stage_math::add_detail(planes, luma - blurred, params.clarity / 100.0f * kClarityGain);
    }
    if (params.texture != 0.0f) {
        cv::GaussianBlur(luma, blurred, cv::Size(), kTextureSigma, 0.0, cv::BORDER_REFLECT_101);
        stage_math::add_detail(planes, luma - blurred, params.texture / 100.0f * kTextureGain);
    }
    cv::merge(planes, working);
}

void Pipeline::apply_dehaze(cv::Mat& working, const EditParams& params) {
    if (!(params.dehaze > 0.0f) || !std::isfinite(params.dehaze) || working.empty()) return;
    constexpr float kPatchFraction = 0.02f;
    constexpr int kMinPatch = 3;
    constexpr float kStrengthPer100 = 0.95f;
    constexpr double kTransmissionSigma = 5.0;
    constexpr double kMinTransmission = 0.1;
    // Far past the slider's range 1 - w*Dk/A runs towards -inf; a floor this
    // low changes nothing the final 0.1 bound would keep, but keeps the blur finite.
    constexpr double kMinRawTransmission = -1e6;

    std::vector<cv::Mat> planes;
    cv::split(working, planes);
    const int patch = stage_math::odd_patch_size(working.cols, kPatchFraction, kMinPatch, INT_MAX);
    const cv::Mat dark = stage_math::dark_channel(planes, patch);
    const float light = atmospheric_light(dark);
    const float omega = params.dehaze / 100.0f * kStrengthPer100;

    cv::Mat transmission = 1.0 - omega * dark / light;
    transmission = cv::max(transmission, kMinRawTransmission);
    cv::GaussianBlur(transmission, transmission, cv::Size(), kTransmissionSigma, 0.0, cv::BORDER_REFLECT_101);
    transmission = cv::max(transmission, kMinTransmission);
    for (int c = 0; c < 3; ++c) {
        planes[c] = (planes[c] - light) / transmission + light;
        stage_math::clamp_plane(planes[c]);
    }
    cv::merge(planes, working);
}

}  // namespace vornalix
