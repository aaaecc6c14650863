// Colour: saturation and vibrance, HSL bands, split toning.

#include "pipeline/pipeline.h"
#include "pipeline/pixel.h"
#include "pipeline/stage_loops.h"
#include "pipeline/tone_math.h"

#include <algorithm>
#include <cmath>

namespace vornalix {

using pixel::clamp01;

namespace {

// Pixels with max - min below this are grey: they have no hue.
constexpr float kGreyThreshold = 1e-6f;
constexpr float kBandHalfWidth = 0.09f;  // turns, of each HSL band

// Moves each channel of four pixels away from (factor > 1) or toward
// (factor < 1) the pixel's luminance.
inline void scale_from_luminance(lanes::V& r, lanes::V& g, lanes::V& b, const lanes::V& factor) {
    const lanes::V lum = pixel::luminance(r, g, b);
    r = lanes::clamp01(lum + (r - lum) * factor);
    g = lanes::clamp01(lum + (g - lum) * factor);
    b = lanes::clamp01(lum + (b - lum) * factor);
}

}  // namespace

void Pipeline::apply_saturation_vibrance(RowPass& pass, const EditParams& params) {
    const float saturation = tone::finite_or(params.saturation, 0.0f);
    const float vibrance = tone::finite_or(params.vibrance, 0.0f) / 100.0f;
    if (saturation == 0.0f && vibrance == 0.0f) return;
    const float factor = 1.0f + saturation / 100.0f;

    pass.add(planar_kernel([saturation, vibrance, factor](lanes::V& r, lanes::V& g, lanes::V& b) {
        // Vibrance protects colours by their spread as they enter the stage.
        const lanes::V spread = cv::v_max(r, cv::v_max(g, b)) - cv::v_min(r, cv::v_min(g, b));
        if (saturation != 0.0f) scale_from_luminance(r, g, b, lanes::all(factor));
        if (vibrance != 0.0f) {
            const lanes::V one = lanes::all(1.0f);
            const lanes::V protection = lanes::all(3.0f) * spread;
            const lanes::V weight =
                cv::v_select(protection < lanes::all(0.0f), one, one - cv::v_min(protection, one));
            scale_from_luminance(r, g, b, one + lanes::all(vibrance) * weight * lanes::all(0.8f));
        }
    }));
}

void Pipeline::apply_hsl(RowPass& pass, const EditParams& params) {
    std::array<HslBand, 8> finite;
    for (size_t i = 0; i < finite.size(); ++i)
        finite[i] = {tone::finite_or(params.hsl[i].hue, 0.0f), tone::finite_or(params.hsl[i].saturation, 0.0f),
                     tone::finite_or(params.hsl[i].luminance, 0.0f)};
    const tone::ShiftingBands bands = tone::shifting_bands(finite.data());
    if (bands.count == 0) return;

    constexpr float kMinWeight = 1e-4f;
    auto weight = [](const auto& dist) { return tone::linear_band_weight(dist, kBandHalfWidth); };
    // Greys, pale colours and hues no shifting band reaches keep their values.
    auto four = [bands, weight](lanes::V& r, lanes::V& g, lanes::V& b) {
        if (!pixel::all_finite(r, g, b)) return false;
        pixel::HslOf<lanes::V> hsl;
        lanes::V shifted = pixel::rgb_to_hsl(r, g, b, kGreyThreshold, hsl);
        shifted = shifted & (hsl.s >= lanes::all(kMinWeight));
        if (!cv::v_check_any(shifted)) return true;
        const auto shift = tone::band_shifts(hsl.h, bands, weight, kMinWeight);
        shifted = shifted & (shift.weight_sum >= lanes::all(kMinWeight));
        if (!cv::v_check_any(shifted)) return true;
        tone::shift_hsl(hsl, shift);
        if (!pixel::hue_in_turn(hsl.h)) return false;
        lanes::V r2, g2, b2;
        pixel::hsl_to_rgb(hsl, r2, g2, b2);
        r = lanes::select(shifted, r2, r);
        g = lanes::select(shifted, g2, g);
        b = lanes::select(shifted, b2, b);
        return true;
    };
    pass.add(planar_kernel(four, [bands, weight](float& r, float& g, float& b) {
        pixel::Hsl hsl;
        if (!pixel::rgb_to_hsl(r, g, b, kGreyThreshold, hsl) || hsl.s < kMinWeight) return;
        const tone::BandShift shift = tone::band_shifts(hsl.h, bands, weight, kMinWeight);
        if (shift.weight_sum < kMinWeight) return;
        tone::shift_hsl(hsl, shift);
        pixel::hsl_to_rgb(hsl, r, g, b);
    }));
}

namespace {

// Split toning of one pixel or four: the hue drawn toward the highlight or
// shadow hue and the saturation raised, by the luminance's weights.
struct SplitToning {
    float highlight_hue, shadow_hue, highlight_sat, shadow_sat, balance;

    template <class T>
    pixel::HslOf<T> toned(const T& r, const T& g, const T& b) const {
        using namespace lanes;
        T wh, ws;
        tone::split_toning_weights(pixel::luminance(r, g, b), balance, wh, ws);
        pixel::HslOf<T> hsl;
        pixel::rgb_to_hsl(r, g, b, kGreyThreshold, hsl);  // grey pixels take hue 0, saturation 0
        const T target_hue = all<T>(highlight_hue) * wh + all<T>(shadow_hue) * ws;
        const T strength = all<T>(highlight_sat) * wh + all<T>(shadow_sat) * ws;
        // A straight blend of hue values, neither the shorter way round nor wrapped.
        hsl.h = hsl.h + all<T>(0.5f) * strength * (target_hue - hsl.h);
        hsl.s = clamp01(hsl.s + all<T>(0.3f) * strength);
        return hsl;
    }
};

}  // namespace

void Pipeline::apply_split_toning(RowPass& pass, const EditParams& params) {
    const float highlight_sat = tone::finite_or(params.split_highlight_saturation, 0.0f) / 100.0f;
    const float shadow_sat = tone::finite_or(params.split_shadow_saturation, 0.0f) / 100.0f;
    if (highlight_sat == 0.0f && shadow_sat == 0.0f) return;
    const SplitToning toning{tone::finite_or(params.split_highlight_hue, 0.0f) / 360.0f,
                             tone::finite_or(params.split_shadow_hue, 0.0f) / 360.0f, highlight_sat, shadow_sat,
                             (tone::finite_or(params.split_balance, 0.0f) / 100.0f) * 0.3f};

    auto four = [toning](lanes::V& r, lanes::V& g, lanes::V& b) {
        if (!pixel::all_finite(r, g, b)) return false;
        const pixel::HslOf<lanes::V> hsl = toning.toned(r, g, b);
        if (!pixel::hue_in_turn(hsl.h)) return false;
        pixel::hsl_to_rgb(hsl, r, g, b);
        return true;
    };
    pass.add(planar_kernel(four, [toning](float& r, float& g, float& b) {
        pixel::hsl_to_rgb(toning.toned(r, g, b), r, g, b);
    }));
}

}  // namespace vornalix
