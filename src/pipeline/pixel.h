#pragma once
// Per-pixel helpers shared by the stages, the analyses and the operations
// library: luminance, clamping and the HSL round trip. Single precision.

#include "pipeline/lanes.h"

#include <algorithm>
#include <cmath>

namespace vornalix::pixel {

using lanes::clamp01;

// Rec. 709 luminance of 0..1 values: of one pixel, of four pixels' lanes or
// of whole planes, always summed in this order so all three agree.
template <class T>
auto luminance(const T& r, const T& g, const T& b) {
    return (lanes::scaled(r, 0.2126f) + lanes::scaled(g, 0.7152f)) + lanes::scaled(b, 0.0722f);
}

// std::fmod(x, m) for m > 0, with the ranges the HSL round trip meets taken
// without the library call: below m in size x is its own remainder, and up to
// 3m the remainder is x - m or x - 2m, subtractions that are exact in floating
// point, so the result is fmod's to the last bit.
inline float fmod_near(float x, float m) {
    if (x > -m && x < m) return x;
    if (x >= m && x < 2.0f * m) return x - m;
    if (x >= 2.0f * m && x < 3.0f * m) return x - 2.0f * m;
    return std::fmod(x, m);
}

template <class T>
struct HslOf {
    T h = lanes::all<T>(0.0f);  // hue in turns, [0, 1)
    T s = lanes::all<T>(0.0f);
    T l = lanes::all<T>(0.0f);
};
using Hsl = HslOf<float>;

// RGB to HSL. A pixel whose max - min is below `grey_threshold` counts as grey:
// it gets h = s = 0 (l still set) and the function returns false.
inline bool rgb_to_hsl(float r, float g, float b, float grey_threshold, Hsl& out) {
    const float mx = std::max(r, std::max(g, b));
    const float mn = std::min(r, std::min(g, b));
    const float d = mx - mn;
    out.l = (mx + mn) * 0.5f;
    if (d < grey_threshold) {
        out.h = 0.0f;
        out.s = 0.0f;
        return false;
    }
    float h6;
    if (mx == r)
        h6 = fmod_near((g - b) / d, 6.0f);
    else if (mx == g)
        h6 = (b - r) / d + 2.0f;
    else
        h6 = (r - g) / d + 4.0f;
    float h = h6 / 6.0f;
    if (h < 0.0f) h += 1.0f;
    out.h = h;
    out.s = d / (1.0f - std::fabs(2.0f * out.l - 1.0f));
    return true;
}

// HSL back to RGB, each channel clamped to [0, 1].
inline void hsl_to_rgb(const Hsl& in, float& r, float& g, float& b) {
    const float c = (1.0f - std::fabs(2.0f * in.l - 1.0f)) * in.s;
    const float h6 = 6.0f * in.h;
    const float x = c * (1.0f - std::fabs(fmod_near(h6, 2.0f) - 1.0f));
    const float m = in.l - c * 0.5f;
    float rr, gg, bb;
    // Negative, huge and NaN hues fall into the last sector, like a negative remainder.
    int sector = 5;
    if (h6 >= 0.0f && h6 < 2147483520.0f) sector = static_cast<int>(h6) % 6;
    switch (sector) {
        case 0: rr = c; gg = x; bb = 0.0f; break;
        case 1: rr = x; gg = c; bb = 0.0f; break;
        case 2: rr = 0.0f; gg = c; bb = x; break;
        case 3: rr = 0.0f; gg = x; bb = c; break;
        case 4: rr = x; gg = 0.0f; bb = c; break;
        default: rr = c; gg = 0.0f; bb = x; break;
    }
    r = clamp01(rr + m);
    g = clamp01(gg + m);
    b = clamp01(bb + m);
}

// The HSL round trip of four pixels, one per lane. For finite colours the
// lanes get exactly what rgb_to_hsl gives; the lanes it would return true
// for are marked in the result.
inline lanes::V rgb_to_hsl(const lanes::V& r, const lanes::V& g, const lanes::V& b, float grey_threshold,
                           HslOf<lanes::V>& out) {
    using namespace lanes;
    const V mx = max_of(r, max_of(g, b));
    const V mn = min_of(r, min_of(g, b));
    const V d = mx - mn;
    out.l = (mx + mn) * all(0.5f);
    const V hued = d >= all(grey_threshold);
    // Where r is the largest, |g - b| <= d: no remainder to take.
    const V h6 = select(mx == r, (g - b) / d, select(mx == g, (b - r) / d + all(2.0f), (r - g) / d + all(4.0f)));
    const V h = h6 / all(6.0f);
    out.h = select(hued, select(h < all(0.0f), h + all(1.0f), h), all(0.0f));
    out.s = select(hued, d / (all(1.0f) - abs_of(all(2.0f) * out.l - all(1.0f))), all(0.0f));
    return hued;
}

// Lanes whose hue lies in [0, 1) turn back into exactly what hsl_to_rgb gives.
inline bool hue_in_turn(const lanes::V& h) {
    const lanes::V h6 = lanes::all(6.0f) * h;
    return cv::v_check_all((h6 >= lanes::all(0.0f)) & (h6 < lanes::all(6.0f)));
}
inline void hsl_to_rgb(const HslOf<lanes::V>& in, lanes::V& r, lanes::V& g, lanes::V& b) {
    using namespace lanes;
    const V zero = all(0.0f);
    const V c = (all(1.0f) - abs_of(all(2.0f) * in.l - all(1.0f))) * in.s;
    const V h6 = all(6.0f) * in.h;
    const V within_two = h6 - select(h6 >= all(4.0f), all(4.0f), select(h6 >= all(2.0f), all(2.0f), zero));
    const V x = c * (all(1.0f) - abs_of(within_two - all(1.0f)));
    const V m = in.l - c * all(0.5f);
    // Sectors of a sixth of a turn: (c, x, 0), (x, c, 0), (0, c, x), (0, x, c), (x, 0, c), (c, 0, x).
    const V below1 = h6 < all(1.0f), below2 = h6 < all(2.0f), below3 = h6 < all(3.0f);
    const V below4 = h6 < all(4.0f), below5 = h6 < all(5.0f);
    const V rr = select(below1 | ~below5, c, select(below2 | ~below4, x, zero));
    const V gg = select(below1, x, select(below3, c, select(below4, x, zero)));
    const V bb = select(below2, zero, select(below3, x, select(below5, c, x)));
    r = clamp01(rr + m);
    g = clamp01(gg + m);
    b = clamp01(bb + m);
}

// Every lane of r, g and b finite.
inline bool all_finite(const lanes::V& r, const lanes::V& g, const lanes::V& b) {
    const lanes::V zero = lanes::all(0.0f);
    return cv::v_check_all(((r - r) == zero) & ((g - g) == zero) & ((b - b) == zero));
}

}  // namespace vornalix::pixel
