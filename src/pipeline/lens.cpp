// Lens corrections in one stage: radial distortion, lateral chromatic
// aberration, lens vignetting and colour fringes, each under its own guard.

#include "pipeline/geometry.h"
#include "image/image_memory.h"
#include "pipeline/lens_math.h"
#include "pipeline/pipeline.h"
#include "pipeline/row_pass.h"
#include "pipeline/stage_loops.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vornalix {

namespace {

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
    constexpr float kGreyThreshold = 1e-6f;
    constexpr stage_math::HueWindow kPurple{0.65f, 0.85f}, kGreen{0.25f, 0.4f};
    const float min_saturation = (1.0f - amount / 100.0f) * 0.5f;
    const float chroma_factor = 1.0f - amount / 200.0f;
    // Four pixels at a time, each lane as defringe_row treats a pixel.
    auto four = [=](lanes::V& r, lanes::V& g, lanes::V& b) {
        using namespace lanes;
        if (!pixel::all_finite(r, g, b)) return false;
        pixel::HslOf<V> hsl;
        V fringe = pixel::rgb_to_hsl(r, g, b, kGreyThreshold, hsl);
        auto within = [&](stage_math::HueWindow w) { return (hsl.h > all(w.lo)) & (hsl.h < all(w.hi)); };
        fringe = fringe & ((all(1.0f) - abs_of(all(2.0f) * hsl.l - all(1.0f))) != all(0.0f)) &
                 (hsl.s > all(min_saturation)) & (within(kPurple) | within(kGreen));
        if (!cv::v_check_any(fringe)) return true;
        hsl.s = hsl.s * all(chroma_factor);
        if (!pixel::hue_in_turn(hsl.h)) return false;
        V r2, g2, b2;
        pixel::hsl_to_rgb(hsl, r2, g2, b2);
        const V sum = r2 + g2 + b2;
        fringe = fringe & ((sum - sum) == all(0.0f));
        r = select(fringe, r2, r);
        g = select(fringe, g2, g);
        b = select(fringe, b2, b);
        return true;
    };
    return planar_kernel(four, [=](float& r, float& g, float& b) {
        cv::Vec4f px(r, g, b, 1.0f);
        stage_math::defringe_row(
            &px, 1, kGreyThreshold, kPurple, kGreen, [=](float s) { return s > min_saturation; },
            [=](float s) { return s * chroma_factor; });
        r = px[0];
        g = px[1];
        b = px[2];
    });
}

}  // namespace

void Pipeline::apply_lens_corrections(RowPass& pass, const EditParams& params) {
    const EditParams& p = params;
    const bool moves = lens_moves_pixels(lens_profile, p);
    if (!moves && !(p.ca_correction > 0.0f) && !(p.lens_vignette > 0.0f) && !(p.defringe > 0.0f)) return;
    if (pass.empty()) return;
    // Each step runs only for a finite value of its own setting.
    if (moves) move_like_lens(pass.image(), scratch_.blurred, lens_profile, p);
    scratch_.blurred.release();  // the image the warps replaced, not held while the steps below allocate
    if (p.ca_correction > 0.0f && std::isfinite(p.ca_correction))
        pass.add(correct_chromatic_aberration(pass.image(), p.ca_correction));
    if (p.lens_vignette > 0.0f && std::isfinite(p.lens_vignette))
        pass.add(correct_lens_vignetting(pass.size(), p.lens_vignette));
    if (p.defringe > 0.0f && std::isfinite(p.defringe)) pass.add(remove_fringes(p.defringe));
}

}  // namespace vornalix
