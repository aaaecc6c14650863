#pragma once
// Formulas of the local-contrast, detail, lens, geometry and finishing stages
// that other callers (the operations library) use with their own constants:
// every constant comes in as an argument. Planes are single-channel CV_32F,
// images CV_32FC4 (R, G, B, A); colour work touches planes 0..2 only.

#include "pipeline/pixel.h"

#include <opencv2/core.hpp>

#include <cmath>
#include <initializer_list>
#include <vector>

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

// planes[0..2] += detail * gain, each then clamped to [0, 1].
void add_detail(std::vector<cv::Mat>& planes, const cv::Mat& detail, float gain);
inline float add_detail_value(float v, float detail, float gain) { return pixel::clamp01(v + detail * gain); }

// Gaussian blur with reflected borders (the last pixel not repeated), run in
// parallel over bands of rows: each band reads its neighbours' rows as a
// whole-image blur would, so the result is the same. `dst` must not be `src`.
void gaussian_blur(const cv::Mat& src, cv::Mat& dst, cv::Size kernel, double sigma);

// Rec. 709 luminance of the colour channels of a four-channel image, written
// into `luma` (single plane), in parallel; the same values as luminance_plane().
void luminance_of(const cv::Mat& image, cv::Mat& luma);

// ---- Kernel sizes -----------------------------------------------------------
// Past about twice the image's long side a blur is all but saturated, so no
// kernel grows beyond this odd size.
int max_kernel_size(cv::Size image);

// Odd kernel 2 * trunc(value / 100 * steps_per_100) + 3 for a positive, finite
// slider value, at most `cap` (worked in float, clamped before any conversion).
int slider_kernel_size(float value, float steps_per_100, int cap);

// A Gaussian sigma no larger than what keeps the kernel OpenCV derives for
// float data (round(8 sigma + 1), made odd) within `cap`.
double capped_sigma(double sigma, int cap);

// ---- Dark channel -----------------------------------------------------------
// trunc(side * fraction) made odd, then kept within [min_size, max_size].
int odd_patch_size(int side, float fraction, int min_size, int max_size);

// Per-pixel minimum of planes 0..2, eroded with a patch x patch square
// (constant border that never wins the minimum).
cv::Mat dark_channel(const std::vector<cv::Mat>& planes, int patch);
// The same of a four-channel image, into `dark`; `minimum` is scratch.
void dark_channel_of(const cv::Mat& image, int patch, cv::Mat& minimum, cv::Mat& dark);

// ---- Sharpening -------------------------------------------------------------
// Unsharp mask of one plane with a hard threshold: plane += D * gain where
// |D| > threshold, D = plane - blur(plane, sigma); then clamped to [0, 1].
void unsharp_mask(cv::Mat& plane, double sigma, double gain, double threshold);

// The same for one value v (or four lanes) whose blurred value is `blurred`.
template <class T>
T unsharp_value(const T& v, const T& blurred, float gain, float threshold) {
    using namespace lanes;
    const T detail = v - blurred;
    return clamp01(select(abs_of(detail) > all<T>(threshold), v + detail * all<T>(gain), v));
}

// ---- Lens -------------------------------------------------------------------
// Radial remap about (cols/2, rows/2), radius normalised by the larger half
// size: a pixel at normalised radius r samples radius r * (1 + k r^2).
void radial_distortion(cv::Mat& image, float k, int interpolation, int border);
// The same into `out` (not `image`), with the coordinate maps built in map_x and map_y.
void radial_distortion(const cv::Mat& image, cv::Mat& out, cv::Mat& map_x, cv::Mat& map_y, float k,
                       int interpolation, int border);

// Centre-crops or centre-pads (with zeros) a plane to `target`, each axis on
// its own: a longer axis gives up (excess / 2) first pixels, a shorter one is
// placed at (shortfall / 2).
void fit_channel_to_size(cv::Mat& plane, cv::Size target);

// Multiplies R, G, B by gain(r) and clamps to [0, 1]; r is the distance to
// (cols/2, rows/2) over half the diagonal (0 at the centre, 1 at the corners).
template <class Gain>
void radial_gain_row(cv::Size image, int y, cv::Vec4f* px, Gain gain) {
    const float cx = image.width / 2.0f;
    const float cy = image.height / 2.0f;
    const float half_diagonal = std::sqrt(cx * cx + cy * cy);
    const float dy = y - cy;
    for (int x = 0; x < image.width; ++x) {
        const float dx = x - cx;
        const float g = gain(std::sqrt(dx * dx + dy * dy) / half_diagonal);
        for (int c = 0; c < 3; ++c) px[x][c] = pixel::clamp01(px[x][c] * g);
    }
}
template <class Gain>
void radial_gain(cv::Mat& image, Gain gain) {
    for (int y = 0; y < image.rows; ++y) radial_gain_row(image.size(), y, image.ptr<cv::Vec4f>(y), gain);
}

// Hue window in turns, both bounds exclusive.
struct HueWindow {
    float lo;
    float hi;
    bool contains(float h) const { return h > lo && h < hi; }
};

// Shrinks the chroma of purple and green fringe pixels, keeping hue and
// lightness. `is_fringe_saturation(S)` selects by HSL saturation and
// `reduced(S)` gives the new saturation. Greys (max - min below
// grey_threshold) and pixels whose HSL saturation is undefined (max + min of
// 0 or 2, where its denominator vanishes) are left alone, as is a pixel whose
// rebuilt colour would not be finite.
template <class Selects, class Reduces>
void defringe_row(cv::Vec4f* px, int n, float grey_threshold, HueWindow purple, HueWindow green,
                  Selects is_fringe_saturation, Reduces reduced) {
    for (int x = 0; x < n; ++x) {
        pixel::Hsl hsl;
        if (!pixel::rgb_to_hsl(px[x][0], px[x][1], px[x][2], grey_threshold, hsl)) continue;
        if (1.0f - std::fabs(2.0f * hsl.l - 1.0f) == 0.0f) continue;
        if (!is_fringe_saturation(hsl.s)) continue;
        if (!purple.contains(hsl.h) && !green.contains(hsl.h)) continue;
        hsl.s = reduced(hsl.s);
        float r, g, b;
        pixel::hsl_to_rgb(hsl, r, g, b);
        // Far out-of-range pixels under absurd strengths can overflow: keep them as they were.
        if (!std::isfinite(r + g + b)) continue;
        px[x][0] = r;
        px[x][1] = g;
        px[x][2] = b;
    }
}
template <class Selects, class Reduces>
void defringe(cv::Mat& image, float grey_threshold, HueWindow purple, HueWindow green,
              Selects is_fringe_saturation, Reduces reduced) {
    for (int y = 0; y < image.rows; ++y)
        defringe_row(image.ptr<cv::Vec4f>(y), image.cols, grey_threshold, purple, green, is_fringe_saturation, reduced);
}

// ---- Geometry ---------------------------------------------------------------
// Crop rectangle from fractions of the image size: left/top trunc(f * side)
// raised to 0, width/height trunc(f * side) cut back to what remains. The
// products are clamped in float before conversion, so any finite fraction is
// safe; the result may have zero width or height (nothing to keep).
cv::Rect crop_rectangle(cv::Size image, float x, float y, float w, float h);

// Keystone: the corners (0,0) (W,0) (W,H) (0,H) go to (dx,dy) (W-dx,dy)
// (W+dx,H-dy) (-dx,H-dy); offsets in pixels.
cv::Mat perspective_matrix(cv::Size image, float dx, float dy);

// ---- Finishing --------------------------------------------------------------
// Vignette: per pixel dx, dy normalised by the half sizes, m = max(|dx|,|dy|),
// d = sqrt(dx^2 + dy^2), r = m + ellipse_weight * (d - m);
// t = clamp((r - mid) / den, 0, 1), w = smoothstep(t) * |amount|;
// amount > 0 darkens v * (1 - w), amount < 0 lightens v + (1 - v) * w.
void vignette(cv::Mat& image, float amount, float mid, float den, float ellipse_weight);
void vignette_row(cv::Size image, int y, cv::Vec4f* px, float amount, float mid, float den, float ellipse_weight);

// Monochrome grain: a normal field of deviation sigma from OpenCV's per-thread
// generator; when blur_sigma > 0 it is blurred and, if its deviation then
// exceeds min_deviation, rescaled back to sigma.
cv::Mat grain_field(cv::Size size, double sigma, double blur_sigma, double min_deviation);

}  // namespace vornalix::stage_math
