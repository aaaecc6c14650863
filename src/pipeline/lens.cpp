// Lens corrections in one stage: radial distortion, lateral chromatic
// aberration, lens vignetting and colour fringes, each under its own guard.

#include "image/image_memory.h"
#include "pipeline/lens_math.h"
#include "pipeline/pipeline.h"
#include "pipeline/row_pass.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vornalix {

namespace {

// Remapped into `spare`, which then trades places with the working image.
void correct_distortion(cv::Mat& working, cv::Mat& spare, float distortion) {
    constexpr float kStrengthPer100 = -0.5f;
    stage_math::radial_distortion(working, spare, distortion / 100.0f * kStrengthPer100,
                                  cv::INTER_LINEAR, cv::BORDER_REFLECT);
    cv::swap(working, spare);
}

// Resizes a plane about its centre by `factor`; the size OpenCV rounds to is
// kept at one pixel or more.
cv::Mat scale_plane(const cv::Mat& plane, double factor) {
    const int w = cvRound(plane.cols * factor), h = cvRound(plane.rows * factor);
    cv::Mat scaled;
    create_image(scaled, cv::Size(std::max(w, 1), std::max(h, 1)), plane.type());  // the size resize derives
    const cv::Size size = (w < 1 || h < 1) ? cv::Size(std::max(w, 1), std::max(h, 1)) : cv::Size();
    cv::resize(plane, scaled, size, factor, factor, cv::INTER_LINEAR);
    return scaled;
}

// Red is scaled up and blue down about the centre; green and alpha stay.
RowKernel correct_chromatic_aberration(const cv::Mat& working, float amount) {
    constexpr float kShiftPer100 = 0.003f;
    // Past this the blue plane would shrink to nothing and the red one grow
    // without bound; the slider's own range stays far below it (0.003).
    constexpr float kMaxShift = 0.99f;
    const float s = std::min(amount / 100.0f * kShiftPer100, kMaxShift);
    cv::Mat red, blue;
    create_image(red, working.size(), CV_32F);
    create_image(blue, working.size(), CV_32F);
    cv::extractChannel(working, red, 0);
    cv::extractChannel(working, blue, 2);
    red = scale_plane(red, 1.0f + s);
    blue = scale_plane(blue, 1.0f - s);
    stage_math::fit_channel_to_size(red, working.size());
    stage_math::fit_channel_to_size(blue, working.size());
    return [red, blue](int y, cv::Vec4f* px, int n) {
        const float* r = red.ptr<float>(y);
        const float* b = blue.ptr<float>(y);
        for (int x = 0; x < n; ++x) {
            px[x][0] = r[x];
            px[x][2] = b[x];
        }
    };
}

RowKernel correct_lens_vignetting(cv::Size size, float amount) {
    constexpr float kCornerGainPer100 = 0.5f;
    const float a = amount / 100.0f;
    return [size, a](int y, cv::Vec4f* px, int) {
        stage_math::radial_gain_row(size, y, px, [a](float r) { return 1.0f + kCornerGainPer100 * a * r * r; });
    };
}

RowKernel remove_fringes(float amount) {
    const float min_saturation = (1.0f - amount / 100.0f) * 0.5f;
    const float chroma_factor = 1.0f - amount / 200.0f;
    return [=](int, cv::Vec4f* px, int n) {
        constexpr float kGreyThreshold = 1e-6f;
        constexpr stage_math::HueWindow kPurple{0.65f, 0.85f}, kGreen{0.25f, 0.4f};
        stage_math::defringe_row(
            px, n, kGreyThreshold, kPurple, kGreen, [=](float s) { return s > min_saturation; },
            [=](float s) { return s * chroma_factor; });
    };
}

}  // namespace

void Pipeline::apply_lens_corrections(RowPass& pass, const EditParams& params) {
    const EditParams& p = params;
    const bool profiled = p.lens_profile != 0 && lens_profile.found();
    if (!profiled && p.distortion == 0.0f && !(p.ca_correction > 0.0f) && !(p.lens_vignette > 0.0f) &&
        !(p.defringe > 0.0f))
        return;
    if (pass.empty()) return;
    if (profiled) lens::apply_profile(lens_profile, pass.image(), scratch_.blurred);
    // Each step runs only for a finite value of its own setting.
    if (p.distortion != 0.0f && std::isfinite(p.distortion))
        correct_distortion(pass.image(), scratch_.blurred, p.distortion);
    scratch_.blurred.release();  // the image the warps replaced, not held while the steps below allocate
    if (p.ca_correction > 0.0f && std::isfinite(p.ca_correction))
        pass.add(correct_chromatic_aberration(pass.image(), p.ca_correction));
    if (p.lens_vignette > 0.0f && std::isfinite(p.lens_vignette))
        pass.add(correct_lens_vignetting(pass.size(), p.lens_vignette));
    if (p.defringe > 0.0f && std::isfinite(p.defringe)) pass.add(remove_fringes(p.defringe));
}

}  // namespace vornalix
