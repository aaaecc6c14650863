// Noise reduction (luminance smoothing and a per-channel colour blur) and
// sharpening (unsharp mask with a hard threshold).

#include "pipeline/detail_math.h"
#include "pipeline/pipeline.h"
#include "pipeline/plane_math.h"
#include "pipeline/stage_loops.h"

#include <opencv2/imgproc.hpp>


namespace vornalix {

void Pipeline::apply_noise_reduction(RowPass& pass, const EditParams& params) {
    if (params.nr_luminance == 0.0f && params.nr_color == 0.0f) return;
    if (!stage_math::all_finite({params.nr_luminance, params.nr_color}) || pass.empty()) return;
    constexpr float kLumaSteps = 5.0f, kColorSteps = 4.0f;  // kernel steps of 2 px per 100
    constexpr float kLumaBlend = 0.6f;
    constexpr float kEpsilon = 1e-6f;
    const int cap = stage_math::max_kernel_size(pass.size());

    if (params.nr_luminance > 0.0f) {
        scratch_.lend_planes(pass.size());
        stage_math::luminance_after(pass, scratch_.plane_a);
        const auto g = stage_math::scaled_kernel(stage_math::slider_kernel_size(params.nr_luminance, kLumaSteps, cap),
                                                 pixel_scale, cap);
        stage_math::gaussian_blur(scratch_.plane_a, scratch_.plane_b, g.size, g.sigma);
        // Every channel of a pixel takes the same factor, so colour ratios stay.
        const float s = params.nr_luminance / 100.0f * kLumaBlend;
        const cv::Mat luma = scratch_.plane_a, blurred = scratch_.plane_b;
        pass.add(pixel_kernel_by_row([s, luma, blurred](int y) {
            const float* l = luma.ptr<float>(y);
            const float* b = blurred.ptr<float>(y);
            return [=](int x, const lanes::V& v) {
                const float ratio = b[x] / (l[x] + kEpsilon);
                return v * lanes::all(1.0f - s) + (v * lanes::all(ratio)) * lanes::all(s);
            };
        }));
    }
    if (params.nr_color > 0.0f) {
        const auto g =
            stage_math::scaled_kernel(stage_math::slider_kernel_size(params.nr_color, kColorSteps, cap), pixel_scale, cap);
        pass.add_blurred(g.size, g.sigma, [](int, cv::Vec4f* px, const cv::Vec3f* b, int n) {  // colour only: alpha stays
            for (int x = 0; x < n; ++x)
                for (int c = 0; c < 3; ++c) px[x][c] = b[x][c];
        });
    }
}

void Pipeline::apply_sharpening(RowPass& pass, const EditParams& params) {
    if (!(params.sharpening_amount > 0.0f) || pass.empty()) return;
    if (!stage_math::all_finite({params.sharpening_amount, params.sharpening_radius, params.sharpening_threshold}))
        return;
    // A blur needs a positive radius; without one there is no detail to add.
    if (!(params.sharpening_radius > 0.0f)) return;
    constexpr float kAmountScale = 150.0f;
    constexpr float kCodeValues = 65535.0f;  // threshold is given in 16-bit code values

    const float gain = params.sharpening_amount / kAmountScale;
    const float threshold = params.sharpening_threshold / kCodeValues;
    const double sigma = stage_math::capped_sigma(params.sharpening_radius * pixel_scale, stage_math::max_kernel_size(pass.size()));
    // Above the bounded size the Gaussian is cut at three sigmas instead of
    // four: the 0.3 % of its weight past that moves no pixel by as much as a
    // tenth of an 8-bit level, and the kernel is a quarter shorter. At the
    // bounded size the kernel and its pixels are as they were.
    constexpr double kFullSizeReach = 3.0;  // sigmas on either side
    const cv::Size kernel = pixel_scale > 1.0f ? cv::Size(1, 1) * (2 * cvCeil(kFullSizeReach * sigma) + 1) : cv::Size();
    pass.add_blurred(kernel, sigma, [gain, threshold](int, cv::Vec4f* px, const cv::Vec3f* b, int n) {
        const lanes::V colour = lanes::colour_mask();
        for (int x = 0; x < n; ++x) {
            const lanes::V v = cv::v_load(px[x].val);
            const lanes::V sharpened = stage_math::unsharp_value(v, cv::v_load(b[x].val), gain, threshold);
            cv::v_store(px[x].val, cv::v_select(colour, sharpened, v));
        }
    });
}

}  // namespace vornalix
