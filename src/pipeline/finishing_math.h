#pragma once
// Vignette and grain formulas of the finishing stages that the operations
// library uses with its own constants. Images are CV_32FC4 (R, G, B, A).

#include <opencv2/core.hpp>

namespace vornalix::stage_math {

// Vignette: per pixel dx, dy normalised by the half sizes, m = max(|dx|,|dy|),
// d = sqrt(dx^2 + dy^2), r = m + ellipse_weight * (d - m);
// t = clamp((r - mid) / den, 0, 1), w = smoothstep(t) * |amount|;
// amount > 0 darkens v * (1 - w), amount < 0 lightens v + (1 - v) * w.
void vignette(cv::Mat& image, float amount, float mid, float den, float ellipse_weight);
void vignette_row(cv::Size image, int y, cv::Vec4f* px, float amount, float mid, float den, float ellipse_weight);

// Monochrome grain: a normal field of deviation sigma, seeded from OpenCV's
// per-thread generator of the calling thread; when blur_sigma > 0 it is blurred and, if its deviation then
// exceeds min_deviation, rescaled back to sigma. Drawn into `field`.
void grain_field(cv::Mat& field, cv::Size size, double sigma, double blur_sigma, double min_deviation);

}  // namespace vornalix::stage_math
