// Standalone vignette and grain on the finishing stages' shared formulas.

#include "ops/effects.h"

#include "ops/checks.h"
#include "pipeline/finishing_math.h"
#include "pipeline/plane_math.h"
#include "pipeline/stage_loops.h"

#include <algorithm>
#include <cmath>

namespace vornalix::effects {

void apply_vignette(cv::Mat& image, float amount, float midpoint, float roundness) {
    if (amount == 0.0f) return;
    ops::require_rgba_float(image, "apply_vignette");
    if (!stage_math::all_finite({amount, midpoint, roundness})) return;
    constexpr float kMinDenominator = 1e-6f;
    const float mid = midpoint / 100.0f;
    // -100 the rectangle, 0 half way, 100 the ellipse.
    const float ellipse_weight = (roundness + 100.0f) / 200.0f;
    stage_math::vignette(image, amount / 100.0f, mid, std::max(1.0f - mid, kMinDenominator), ellipse_weight);
}

void apply_grain(cv::Mat& image, float amount, float size) {
    if (!(amount > 0.0f)) return;
    ops::require_rgba_float(image, "apply_grain");
    if (!stage_math::all_finite({amount, size})) return;
    constexpr double kMinDeviation = 1e-7;
    const float sigma = amount / 100.0f * 0.06f;
    double blur = 0.0;
    if (size > 1.0f)
        blur = stage_math::capped_sigma(size / 100.0f * 3.0f + 0.3f, stage_math::max_kernel_size(image.size()));
    cv::Mat field;
    stage_math::grain_field(field, image.size(), sigma, blur, kMinDeviation);

    // Midtone weight sin(pi Y)^2: 0 at black and white, 1 at Y = 0.5.
    std::vector<cv::Mat> planes;
    cv::split(image, planes);
    const cv::Mat lum = stage_math::luminance_plane(planes);
    for (int y = 0; y < field.rows; ++y) {
        float* f = field.ptr<float>(y);
        const float* l = lum.ptr<float>(y);
        for (int x = 0; x < field.cols; ++x) {
            const double s = std::sin(3.14159265358979323846 * l[x]);
            f[x] *= static_cast<float>(s * s);
        }
    }
    for (int c = 0; c < 3; ++c) {
        planes[c] = planes[c] + field;
        stage_math::clamp_plane(planes[c]);
    }
    cv::merge(planes, image);
}

}  // namespace vornalix::effects
