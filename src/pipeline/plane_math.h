#pragma once
// Plane helpers the stages share, also used by the operations library:
// settings checks, clamping, luminance, a parallel Gaussian blur and kernel
// sizes. Planes are single-channel CV_32F, images CV_32FC4 (R, G, B, A).

#include <opencv2/core.hpp>

#include <cmath>
#include <initializer_list>
#include <vector>

namespace vornalix {
class RowPass;
}

namespace vornalix::stage_math {

// A setting that is NaN or infinite leaves its step out.
inline bool all_finite(std::initializer_list<float> values) {
    for (float v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

// Clamp a float plane to [0, 1] (to-zero at 0, then truncate at 1; NaN becomes 0).
void clamp_plane(cv::Mat& plane);

// Rec. 709 luminance of planes 0..2 as one plane.
cv::Mat luminance_plane(const std::vector<cv::Mat>& planes);

// Gaussian blur with reflected borders (the last pixel not repeated), run in
// parallel over bands of rows: each band reads its neighbours' rows as a
// whole-image blur would, so the result is the same. `dst` must not be `src`.
void gaussian_blur(const cv::Mat& src, cv::Mat& dst, cv::Size kernel, double sigma);

// The same blur for a wide sigma at a fraction of the cost, within a few
// 1e-5 of gaussian_blur(): the plane is halved a few times (each halving and
// each doubling back is itself a small Gaussian), blurred by what is left at
// the coarsest level and enlarged again. Narrow blurs go to gaussian_blur().
// `dst` may come back a view into a larger plane.
void wide_gaussian_blur(const cv::Mat& src, cv::Mat& dst, double sigma);

// Runs the pass's pending kernels and, in the same pass, writes the
// luminance of their result into `luma` (plane_after in stage_loops.h).
cv::Mat& luminance_after(RowPass& pass, cv::Mat& luma);

// Past about twice the image's long side a blur is all but saturated, so no
// kernel grows beyond this odd size.
int max_kernel_size(cv::Size image);

// Odd kernel 2 * trunc(value / 100 * steps_per_100) + 3 for a positive, finite
// slider value, at most `cap` (worked in float, clamped before any conversion).
int slider_kernel_size(float value, float steps_per_100, int cap);

// A Gaussian sigma no larger than what keeps the kernel OpenCV derives for
// float data (round(8 sigma + 1), made odd) within `cap`.
double capped_sigma(double sigma, int cap);

// A Gaussian given as a k x k kernel (sigma derived from k) at the default
// working size, widened by `pixel_scale` (Pipeline::pixel_scale): exactly
// k x k with sigma 0 at 1; otherwise the sigma OpenCV derives for k, times
// the scale, capped, with the kernel derived from it.
struct GaussianKernel {
    cv::Size size;
    double sigma = 0.0;
};
GaussianKernel scaled_kernel(int k, float pixel_scale, int cap);

}  // namespace vornalix::stage_math
