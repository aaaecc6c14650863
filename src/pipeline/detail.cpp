// Noise reduction (luminance smoothing and a per-channel colour blur) and
// sharpening (unsharp mask with a hard threshold).

#include "pipeline/pipeline.h"
#include "pipeline/stage_loops.h"
#include "pipeline/stage_math.h"

#include <opencv2/imgproc.hpp>

#include <vector>

namespace vornalix {

void Pipeline::apply_noise_reduction(cv::Mat& working, const EditParams& params) {
    if (params.nr_luminance == 0.0f && params.nr_color == 0.0f) return;
    if (!stage_math::all_finite({params.nr_luminance, params.nr_color}) || working.empty()) return;
    constexpr float kLumaSteps = 5.0f, kColorSteps = 4.0f;  // kernel steps of 2 px per 100
    constexpr float kLumaBlend = 0.6f;
    constexpr float kEpsilon = 1e-6f;
    const int cap = stage_math::max_kernel_size(working.size());

    std::vector<cv::Mat> planes;
    cv::split(working, planes);
    if (params.nr_luminance > 0.0f) {
        const cv::Mat luma = stage_math::luminance_plane(planes);
        const int k = stage_math::slider_kernel_size(params.nr_luminance, kLumaSteps, cap);
        cv::Mat blurred;
        cv::GaussianBlur(luma, blurred, cv::Size(k, k), 0.0, 0.0, cv::BORDER_REFLECT_101);
        // Every channel of a pixel takes the same factor, so colour ratios stay.
        const float s = params.nr_luminance / 100.0f * kLumaBlend;
        const cv::Mat ratio = blurred / (luma + kEpsilon);
        for (int c = 0; c < 3; ++c) planes[c] = planes[c] * (1.0f - s) + planes[c].mul(ratio) * s;
    }
    if (params.nr_color > 0.0f) {
        const int k = stage_math::slider_kernel_size(params.nr_color, kColorSteps, cap);
        for (int c = 0; c < 3; ++c)
            cv::GaussianBlur(planes[c], planes[c], cv::Size(k, k), 0.0, 0.0, cv::BORDER_REFLECT_101);
    }
    cv::merge(planes, working);
}

void Pipeline::apply_sharpening(cv::Mat& working, const EditParams& params) {
    if (!(params.sharpening_amount > 0.0f) || working.empty()) return;
    if (!stage_math::all_finite({params.sharpening_amount, params.sharpening_radius, params.sharpening_threshold}))
        return;
    // A blur needs a positive radius; without one there is no detail to add.
    if (!(params.sharpening_radius > 0.0f)) return;
    constexpr float kAmountScale = 150.0f;
    constexpr float kCodeValues = 65535.0f;  // threshold is given in 16-bit code values

    const float gain = params.sharpening_amount / kAmountScale;
    const float threshold = params.sharpening_threshold / kCodeValues;
    const double sigma = stage_math::capped_sigma(params.sharpening_radius, stage_math::max_kernel_size(working.size()));
    for_each_colour_plane(working, [&](cv::Mat& plane) { stage_math::unsharp_mask(plane, sigma, gain, threshold); });
}

}  // namespace vornalix
