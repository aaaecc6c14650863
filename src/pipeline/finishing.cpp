// Finishing on the final frame: a creative vignette and monochrome film grain.

#include "pipeline/finishing_math.h"
#include "pipeline/pipeline.h"
#include "pipeline/pixel.h"
#include "pipeline/plane_math.h"
#include "pipeline/row_pass.h"
#include "pipeline/stage_loops.h"


namespace vornalix {

void Pipeline::apply_vignette(RowPass& pass, const EditParams& params) {
    const EditParams& p = params;
    if (p.vignette_amount == 0.0f || pass.empty()) return;
    if (!stage_math::all_finite({p.vignette_amount, p.vignette_midpoint, p.vignette_roundness})) return;
    constexpr float kEpsilon = 1e-6f;
    const float mid = p.vignette_midpoint / 100.0f;
    const float roundness = (p.vignette_roundness + 100.0f) / 200.0f;  // 0 rectangle .. 0.5 ellipse
    // Roundness blends from the rectangle at -100 to the ellipse at 0; beyond 0 it stays an ellipse.
    const float ellipse_weight = roundness < 0.5f ? 2.0f * roundness : 1.0f;
    const float amount = p.vignette_amount / 100.0f, den = (1.0f - mid) + kEpsilon;
    const cv::Size size = pass.size();
    pass.add([=](int y, cv::Vec4f* px, int) { stage_math::vignette_row(size, y, px, amount, mid, den, ellipse_weight); });
}

void Pipeline::apply_grain(RowPass& pass, const EditParams& params) {
    if (!(params.grain_amount > 0.0f) || pass.empty()) return;
    if (!stage_math::all_finite({params.grain_amount, params.grain_size})) return;
    constexpr float kSigmaPer100 = 0.05f;
    constexpr float kMinBlurredSize = 0.01f;
    constexpr float kBlurPer100 = 2.0f, kBlurBase = 0.5f;
    constexpr double kMinDeviation = 1e-6;

    const float sigma = params.grain_amount / 100.0f * kSigmaPer100;
    const float size = params.grain_size / 100.0f;
    double blur = 0.0;
    if (size > kMinBlurredSize)
        blur = stage_math::capped_sigma((size * kBlurPer100 + kBlurBase) * pixel_scale, stage_math::max_kernel_size(pass.size()));
    // Drawn here, on the calling thread, so the generator is the caller's.
    scratch_.lend_planes();
    stage_math::grain_field(scratch_.plane_a, pass.size(), sigma, blur, kMinDeviation);
    const cv::Mat field = scratch_.plane_a;

    // One field for all three channels: the grain is monochrome and additive.
    pass.add(pixel_kernel_by_row([field](int y) {
        const float* f = field.ptr<float>(y);
        return [f](int x, const lanes::V& v) { return lanes::clamp01(v + lanes::all(f[x])); };
    }));
}

}  // namespace vornalix
