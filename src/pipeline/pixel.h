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

constexpr float kSixth = 1.0f / 6.0f;

// Hue in turns of a colour whose largest channel is mx and whose spread
// max - min is d > 0: sixths of a turn counted from the largest channel's
// sector, (g - b) / d from red, (b - r) / d + 2 from green, (r - g) / d + 4
// from blue, all through one reciprocal of d. Where red is the largest,
// |g - b| <= d, so no remainder is needed to stay within a turn.
template <class T>
inline T hue_turns(const T& r, const T& g, const T& b, const T& mx, const T& d) {
    using namespace lanes;
    const auto red = mx == r, green = mx == g;
    const T towards = select(red, g - b, select(green, b - r, r - g));
    const T sector = select(red, all<T>(0.0f), select(green, all<T>(2.0f), all<T>(4.0f)));
    const T h = (towards * (all<T>(1.0f) / d) + sector) * all<T>(kSixth);
    return select(h < all<T>(0.0f), h + all<T>(1.0f), h);
}

// The largest spread max - min a colour of lightness l can have: HSL
// saturation is the spread as a share of it, chroma the share times it.
template <class T>
T chroma_span(const T& l) {
    using namespace lanes;
    return all<T>(1.0f) - abs_of(all<T>(2.0f) * l - all<T>(1.0f));
}

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
    out.h = hue_turns(r, g, b, mx, d);
    out.s = d / chroma_span(out.l);
    return true;
}

// HSL back to RGB for hues of 0 to 6 sixths of a turn, each channel clamped
// to [0, 1]. Around the circle each channel's share of the chroma c is 1 for
// the third of a turn about its own hue, 0 for the opposite third and a ramp
// between: the sectors (c, x, 0), (x, c, 0), (0, c, x), (0, x, c), (x, 0, c),
// (c, 0, x) without choosing a sector.
template <class T>
inline void rgb_of_sixths(const T& h6, const T& s, const T& l, T& r, T& g, T& b) {
    using namespace lanes;
    const T c = chroma_span(l) * s;
    const T m = l - c * all<T>(0.5f);
    auto channel = [&](const T& share) { return clamp01(m + c * clamp01(share)); };
    r = channel(abs_of(h6 - all<T>(3.0f)) - all<T>(1.0f));
    g = channel(all<T>(2.0f) - abs_of(h6 - all<T>(2.0f)));
    b = channel(all<T>(2.0f) - abs_of(h6 - all<T>(4.0f)));
}

// HSL back to RGB for any hue: whole turns are dropped; negative and NaN hues
// fall into the last sector, (c, 0, x), with x from the negative remainder.
inline void hsl_to_rgb(const Hsl& in, float& r, float& g, float& b) {
    float h6 = 6.0f * in.h;
    if (h6 > 6.0f) h6 = std::fmod(h6, 6.0f);
    if (h6 >= 0.0f) return rgb_of_sixths(h6, in.s, in.l, r, g, b);
    const float c = chroma_span(in.l) * in.s;
    const float x = c * (1.0f - std::fabs(fmod_near(h6, 2.0f) - 1.0f));
    const float m = in.l - c * 0.5f;
    r = clamp01(c + m);
    g = clamp01(m);
    b = clamp01(x + m);
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
    out.h = select(hued, hue_turns(r, g, b, mx, d), all(0.0f));
    out.s = select(hued, d / chroma_span(out.l), all(0.0f));
    return hued;
}

// Lanes whose hue lies in [0, 1] turn back into exactly what hsl_to_rgb gives.
inline bool hue_in_turn(const lanes::V& h) {
    return cv::v_check_all((h >= lanes::all(0.0f)) & (h <= lanes::all(1.0f)));
}
inline void hsl_to_rgb(const HslOf<lanes::V>& in, lanes::V& r, lanes::V& g, lanes::V& b) {
    rgb_of_sixths(lanes::all(6.0f) * in.h, in.s, in.l, r, g, b);
}

// Every lane of r, g and b finite. Lanes whose sum overflows count as not
// finite too, which only sends them the slower way.
inline bool all_finite(const lanes::V& r, const lanes::V& g, const lanes::V& b) {
    const lanes::V zero = lanes::all(0.0f);
    return cv::v_check_all(((r + g + b) * zero) == zero);
}

}  // namespace vornalix::pixel
