#pragma once
// Scalar tone and colour formulas shared by the pipeline stages and the
// operations library. Each takes its constants as arguments, so a caller with
// other constants reuses the same core. Single precision throughout.

#include "pipeline/pixel.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>

namespace vornalix::tone {

// A host may hand any float to a setter; a NaN or infinite setting counts as
// the setting's neutral value, so it can never put NaN into the image.
inline float finite_or(float v, float neutral) { return std::isfinite(v) ? v : neutral; }

struct Rgb {
    float r = 1.0f;
    float g = 1.0f;
    float b = 1.0f;
};

// Colour of a black body at `kelvin`, each channel normalised to 0..1 (a fitted
// approximation in 0..255 units, natural logarithms). Below about 500 K the fit
// is pure red; temperatures at or below 0 K continue that limit.
inline Rgb blackbody_colour(float kelvin) {
    const float t = kelvin / 100.0f;
    if (!(t > 0.0f)) return {1.0f, 0.0f, 0.0f};
    float r, g, b;
    if (t <= 66.0f) {
        r = 255.0f;
        g = 99.470802f * std::log(t) - 161.11957f;
        b = t <= 19.0f ? 0.0f : 138.51773f * std::log(t - 10.0f) - 305.0448f;
    } else {
        r = 329.69873f * std::pow(t - 60.0f, -0.13320476f);
        g = 288.12216f * std::pow(t - 60.0f, -0.075514846f);
        b = 255.0f;
    }
    return {pixel::clamp01(r / 255.0f), pixel::clamp01(g / 255.0f), pixel::clamp01(b / 255.0f)};
}

// Channel multipliers that move `kelvin` to the white of `reference_kelvin`,
// with `tint` added to green at `tint_per_unit` per unit.
inline Rgb blackbody_multipliers(float kelvin, float tint, float reference_kelvin, float tint_per_unit) {
    const Rgb c = blackbody_colour(kelvin);
    const Rgb white = blackbody_colour(reference_kelvin);
    return {c.r / white.r, c.g / white.g + tint * tint_per_unit, c.b / white.b};
}

// The white-balance stage's terms: 6500 K leaves the picture as it is, and a
// unit of tint adds 0.001 to the green multiplier.
constexpr float kNeutralKelvin = 6500.0f;
constexpr float kTintPerUnit = 0.15f / 150.0f;
inline Rgb white_balance_multipliers(float kelvin, float tint) {
    return blackbody_multipliers(kelvin, tint, kNeutralKelvin, kTintPerUnit);
}

// Factor 2^ev of an exposure change. From 128 stops on exp2f overflows, and a
// black pixel times infinity would be NaN, so the factor stops at FLT_MAX.
inline float exposure_factor(float ev) { return std::min(std::exp2(ev), FLT_MAX); }

// Power-curve exponent 1 / (1 + strength * value), limited to [min_gamma, max_gamma].
// A divisor at or below zero lies beyond the strongest darkening and gives max_gamma.
template <class T>
T limited_gamma(const T& value, float strength, float min_gamma, float max_gamma) {
    using namespace lanes;
    const T divisor = all<T>(1.0f) + all<T>(strength) * value;
    const T limited = max_of(min_of(all<T>(1.0f) / divisor, all<T>(max_gamma)), all<T>(min_gamma));
    return select(divisor > all<T>(0.0f), limited, all<T>(max_gamma));
}

// Soft S-curve around mid-grey: v = (c - 0.5) * slope, then v / (1 + softness |v|) + 0.5.
// Not clamped.
template <class T>
T soft_contrast(const T& c, float slope, float softness) {
    using namespace lanes;
    const T v = (c - all<T>(0.5f)) * all<T>(slope);
    return v / (all<T>(1.0f) + all<T>(softness) * abs_of(v)) + all<T>(0.5f);
}

// Distance of luminance L from mid-grey toward black (shadow_depth) or white
// (highlight_depth): 1 at the end, 0 at mid-grey and beyond.
template <class T>
T shadow_depth(const T& lum) {
    using namespace lanes;
    return select(lum < all<T>(0.5f), all<T>(2.0f) * (all<T>(0.5f) - lum), all<T>(0.0f));
}
template <class T>
T highlight_depth(const T& lum) {
    using namespace lanes;
    return select(lum > all<T>(0.5f), all<T>(2.0f) * (lum - all<T>(0.5f)), all<T>(0.0f));
}

// Index of the nearest entry of a lookup table of `size` entries over 0..1;
// values below 0 (and NaN) read the first entry, values above 1 the last.
template <class T>
auto lut_index(const T& v, int size) {
    using namespace lanes;
    return truncated(clamp01(v) * all<T>(static_cast<float>(size - 1)) + all<T>(0.5f));
}

// Uniform Catmull-Rom interpolation between p1 (t = 0) and p2 (t = 1).
inline float catmull_rom(float p0, float p1, float p2, float p3, float t) {
    return 0.5f * (2.0f * p1 + (p2 - p0) * t + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * t * t +
                   (-p0 + 3.0f * p1 - 3.0f * p2 + p3) * t * t * t);
}

// Centres of the eight hue bands (red, orange, yellow, green, aqua, blue,
// purple, magenta), in turns.
inline const std::array<float, 8>& hue_band_centres() {
    static const std::array<float, 8> centres{0.0f,        1.0f / 12.0f, 1.0f / 6.0f, 1.0f / 3.0f,
                                              1.0f / 2.0f, 2.0f / 3.0f,  7.0f / 9.0f, 5.0f / 6.0f};
    return centres;
}

// Shorter distance between two hues on the circle of one turn.
template <class T>
T hue_distance(const T& h, float centre) {
    using namespace lanes;
    const T dist = abs_of(h - all<T>(centre));
    return min_of(dist, all<T>(1.0f) - dist);
}

// Triangular band weight: 1 at the centre, falling linearly to 0 at
// half_width (to within a rounding there) and below 0 beyond.
template <class T>
T linear_band_weight(const T& dist, float half_width) {
    using namespace lanes;
    return all<T>(1.0f) - dist * all<T>(1.0f / half_width);
}

// Raised-cosine band weight: 1 at the centre, 0.5 half way, 0 from half_width
// on (the cosine would rise again past it). Cosine and blend in double precision.
inline float raised_cosine_band_weight(float dist, float half_width) {
    if (!(dist < half_width)) return 0.0f;
    const float x = dist / half_width;
    return static_cast<float>(0.5 + 0.5 * std::cos(3.14159265358979323846 * static_cast<double>(x)));
}

// The bands that shift anything, each with its centre, picked once per
// render from eight bands of fields hue, saturation and luminance.
struct ShiftingBand {
    float centre, hue, saturation, luminance;
};
struct ShiftingBands {
    std::array<ShiftingBand, 8> band;
    size_t count = 0;
};
template <class Band>
ShiftingBands shifting_bands(const Band* bands) {
    ShiftingBands out;
    for (size_t i = 0; i < hue_band_centres().size(); ++i)
        if (bands[i].hue != 0.0f || bands[i].saturation != 0.0f || bands[i].luminance != 0.0f)
            out.band[out.count++] = {hue_band_centres()[i], bands[i].hue, bands[i].saturation, bands[i].luminance};
    return out;
}

// Summed shifts of the shifting bands at hue h: each counts with
// weight(hue_distance) when that weight reaches min_weight. The sums are not
// normalised.
template <class T>
struct BandShiftOf {
    T hue = lanes::all<T>(0.0f);
    T saturation = lanes::all<T>(0.0f);
    T luminance = lanes::all<T>(0.0f);
    T weight_sum = lanes::all<T>(0.0f);
};
using BandShift = BandShiftOf<float>;
template <class T, class Weight>
BandShiftOf<T> band_shifts(const T& h, const ShiftingBands& bands, Weight weight, float min_weight) {
    using namespace lanes;
    BandShiftOf<T> out;
    for (size_t i = 0; i < bands.count; ++i) {
        const ShiftingBand& band = bands.band[i];
        const T w = weight(hue_distance(h, band.centre));
        const auto counted = w >= all<T>(min_weight);
        // Terms masked rather than the weight, so a band's infinite or NaN
        // value reaches only the hues the band counts for.
        auto add = [&](T& sum, const T& term) { sum = sum + select(counted, term, all<T>(0.0f)); };
        add(out.hue, w * all<T>(band.hue));
        add(out.saturation, w * all<T>(band.saturation));
        add(out.luminance, w * all<T>(band.luminance));
        add(out.weight_sum, w);
    }
    return out;
}

// Applies band shifts to a pixel: hue in degrees (wrapped into [0, 1) turns),
// saturation in percent of itself, luminance at 1/200 per unit; both clamped.
constexpr float kTurnsPerDegree = 1.0f / 360.0f;
constexpr float kPerPercent = 1.0f / 100.0f;
constexpr float kLightnessPerUnit = 1.0f / 200.0f;
template <class T>
void shift_hsl(pixel::HslOf<T>& hsl, const BandShiftOf<T>& shift) {
    using namespace lanes;
    const T shifted = hsl.h + shift.hue * all<T>(kTurnsPerDegree) + all<T>(2.0f);
    hsl.h = shifted - floor_of(shifted);
    hsl.s = clamp01(hsl.s * (all<T>(1.0f) + shift.saturation * all<T>(kPerPercent)));
    hsl.l = clamp01(hsl.l + shift.luminance * all<T>(kLightnessPerUnit));
}

// Highlight and shadow weights of a pixel of luminance L for split toning;
// a positive balance moves weight toward the highlights.
template <class T>
void split_toning_weights(const T& lum, float balance, T& highlight, T& shadow) {
    using namespace lanes;
    highlight = clamp01(lum + all<T>(balance));
    shadow = clamp01((all<T>(1.0f) - lum) - all<T>(balance));
}

}  // namespace vornalix::tone
