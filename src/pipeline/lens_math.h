#pragma once
// Formulas of the lens-correction stage that the operations library uses
// with its own constants. Images are CV_32FC4 (R, G, B, A), colour work on
// channels 0..2 only.

#include "pipeline/pixel.h"

#include <opencv2/core.hpp>

#include <cmath>

namespace vornalix::stage_math {

// Radial remap about (cols/2, rows/2), radius normalised by the larger half
// size: a pixel at normalised radius r samples radius r * (1 + k r^2).
void radial_distortion(cv::Mat& image, float k, int interpolation, int border);
// The same into `out` (not `image`).
void radial_distortion(const cv::Mat& image, cv::Mat& out, float k, int interpolation, int border);

// Centre-crops or centre-pads (with zeros) a plane to `target`, each axis on
// its own: a longer axis gives up (excess / 2) first pixels, a shorter one is
// placed at (shortfall / 2).
void fit_channel_to_size(cv::Mat& plane, cv::Size target);
// One axis of that: `length` pixels from `from` in the plane go to `to`.
struct FitSpan {
    int from = 0, to = 0, length = 0;
};
FitSpan fit_span(int have, int want);

// Multiplies R, G, B by gain(r) and clamps to [0, 1]; r is the distance to
// (cols/2, rows/2) over half the diagonal (0 at the centre, 1 at the corners).
template <class Gain>
void radial_gain_row(cv::Size image, int y, cv::Vec4f* px, Gain gain) {
    const float cx = image.width / 2.0f;
    const float cy = image.height / 2.0f;
    const float half_diagonal = std::sqrt(cx * cx + cy * cy);
    const float dy = y - cy;
    cv::AutoBuffer<float, 4096> radii(image.width);
    float* r = radii.data();
    lanes::even_about_centre(image.width, r, [&](auto dx) {
        using T = decltype(dx);
        return lanes::sqrt_of(dx * dx + lanes::all<T>(dy * dy)) / lanes::all<T>(half_diagonal);
    });
    const lanes::V colour = lanes::colour_mask();
    for (int x = 0; x < image.width; ++x) {
        const lanes::V v = cv::v_load(px[x].val);
        cv::v_store(px[x].val, cv::v_select(colour, lanes::clamp01(v * lanes::all(gain(r[x]))), v));
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

}  // namespace vornalix::stage_math
