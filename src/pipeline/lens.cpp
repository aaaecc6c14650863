// Lens corrections in one stage: radial distortion, lateral chromatic
// aberration, lens vignetting and colour fringes, each under its own guard.

#include "pipeline/pipeline.h"
#include "pipeline/stage_math.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vornalix {

namespace {

void correct_distortion(cv::Mat& working, float distortion) {
    constexpr float kStrengthPer100 = -0.5f;
    stage_math::radial_distortion(working, distortion / 100.0f * kStrengthPer100, cv::INTER_LINEAR,
                                  cv::BORDER_REFLECT);
}

// Resizes a plane about its centre by `factor`; the size OpenCV rounds to is
// kept at one pixel or more.
cv::Mat scale_plane(const cv::Mat& plane, double factor) {
    cv::Mat scaled;
    const int w = cvRound(plane.cols * factor), h = cvRound(plane.rows * factor);
    const cv::Size size = (w < 1 || h < 1) ? cv::Size(std::max(w, 1), std::max(h, 1)) : cv::Size();
    cv::resize(plane, scaled, size, factor, factor, cv::INTER_LINEAR);
    return scaled;
}

void correct_chromatic_aberration(cv::Mat& working, float amount) {
    constexpr float kShiftPer100 = 0.003f;
    // Past this the blue plane would shrink to nothing and the red one grow
    // without bound; the slider's own range stays far below it (0.003).
    constexpr float kMaxShift = 0.99f;
    const float s = std::min(amount / 100.0f * kShiftPer100, kMaxShift);
    std::vector<cv::Mat> planes;
    cv::split(working, planes);
    planes[0] = scale_plane(planes[0], 1.0f + s);
    planes[2] = scale_plane(planes[2], 1.0f - s);
    stage_math::fit_channel_to_size(planes[0], working.size());
    stage_math::fit_channel_to_size(planes[2], working.size());
    cv::merge(planes, working);
}

void correct_lens_vignetting(cv::Mat& working, float amount) {
    constexpr float kCornerGainPer100 = 0.5f;
    const float a = amount / 100.0f;
    stage_math::radial_gain(working, [a](float r) { return 1.0f + kCornerGainPer100 * a * r * r; });
}

void remove_fringes(cv::Mat& working, float amount) {
    constexpr float kGreyThreshold = 1e-6f;
    constexpr stage_math::HueWindow kPurple{0.65f, 0.85f}, kGreen{0.25f, 0.4f};
    const float min_saturation = (1.0f - amount / 100.0f) * 0.5f;
    const float chroma_factor = 1.0f - amount / 200.0f;
    stage_math::defringe(
        working, kGreyThreshold, kPurple, kGreen, [=](float s) { return s > min_saturation; },
        [=](float s) { return s * chroma_factor; });
}

}  // namespace

void Pipeline::apply_lens_corrections(cv::Mat& working, const EditParams& params) {
    const EditParams& p = params;
    if (p.distortion == 0.0f && !(p.ca_correction > 0.0f) && !(p.lens_vignette > 0.0f) && !(p.defringe > 0.0f))
        return;
    if (working.empty()) return;
    // Each step runs only for a finite value of its own setting.
    if (p.distortion != 0.0f && std::isfinite(p.distortion)) correct_distortion(working, p.distortion);
    if (p.ca_correction > 0.0f && std::isfinite(p.ca_correction)) correct_chromatic_aberration(working, p.ca_correction);
    if (p.lens_vignette > 0.0f && std::isfinite(p.lens_vignette)) correct_lens_vignetting(working, p.lens_vignette);
    if (p.defringe > 0.0f && std::isfinite(p.defringe)) remove_fringes(working, p.defringe);
}

}  // namespace vornalix
