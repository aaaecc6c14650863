// Global tone: white balance, exposure, brightness, highlights and shadows,
// whites and blacks, contrast.

#include "pipeline/pipeline.h"
#include "pipeline/pixel.h"
#include "pipeline/stage_loops.h"
#include "pipeline/tone_math.h"

#include <opencv2/core/hal/hal.hpp>
#include <opencv2/imgproc.hpp>

#include <cfloat>
#include <cmath>

namespace vornalix {

using pixel::clamp01;

void Pipeline::apply_white_balance(RowPass& pass, const EditParams& params) {
    const float kelvin = tone::finite_or(params.temperature, tone::kNeutralKelvin);
    const float tint = tone::finite_or(params.tint, 0.0f);
    if (std::fabs(kelvin - tone::kNeutralKelvin) < 1.0f && std::fabs(tint) < 0.1f) return;

    const tone::Rgb m = tone::white_balance_multipliers(kelvin, tint);
    // Always at the head of a render, so only the 65,536-entry table meets it.
    pass.add(rgb_kernel([m](float& r, float& g, float& b) {
        r = clamp01(r * m.r);
        g = clamp01(g * m.g);
        b = clamp01(b * m.b);
    }), RowPass::per_channel);
}

void Pipeline::apply_exposure(RowPass& pass, const EditParams& params) {
    const float ev = tone::finite_or(params.exposure, 0.0f);
    if (ev == 0.0f) return;
    const float factor = tone::exposure_factor(ev);
    // Values only grow or shrink; nothing below 0 can appear, so only the top is cut.
    pass.add(rgb_kernel([factor](float& r, float& g, float& b) {
        r = lanes::min_of(r * factor, 1.0f);
        g = lanes::min_of(g * factor, 1.0f);
        b = lanes::min_of(b * factor, 1.0f);
    }), RowPass::per_channel);
}

void Pipeline::apply_brightness(RowPass& pass, const EditParams& params) {
    const float value = tone::finite_or(params.brightness, 0.0f);
    if (value == 0.0f) return;
    const float gamma = tone::limited_gamma(value / 100.0f, 0.5f, 0.1f, 10.0f);
    pass.add(colour_values_kernel([gamma](cv::Mat& values) { cv::pow(values, gamma, values); }), RowPass::per_channel);
}

namespace {

// NaN stays NaN (and is neither shadow nor highlight), as std::max keeps it.
lanes::V highlights_luminance(const lanes::V& r, const lanes::V& g, const lanes::V& b) {
    return lanes::max_of(lanes::all(1e-6f), pixel::luminance(r, g, b));
}

// What a highlight pixel of luminance `lum` is scaled by.
lanes::V highlight_factor(const lanes::V& lum, float h) {
    using namespace lanes;
    const V hd = tone::highlight_depth(lum);
    return max_of(min_of(all(1.0f) + all(0.4f * h) * hd * hd, all(2.0f)), all(0.3f));
}

// Highlights alone: one pass, only fours holding a highlight are written.
void highlights_row(cv::Vec4f* px, int n, float h) {
    using namespace lanes;
    for_each_four_pixels(px, n, [h](int, V& r, V& g, V& b) {
        const V lum = highlights_luminance(r, g, b), highlight = lum > all(0.5f);
        if (!cv::v_check_any(highlight)) return false;
        const V k = highlight_factor(lum, h);
        r = select(highlight, clamp01(r * k), r);
        g = select(highlight, clamp01(g * k), g);
        b = select(highlight, clamp01(b * k), b);
        return true;
    });
}

// Highlights and shadows of one row, four pixels at a time and without a
// branch per pixel. Shadow channels are raised to a power of their own
// pixel: the whole row's colour goes through OpenCV's vectorised logarithm
// and exponential, which agree with powf far below a 16-bit step, and only
// the shadow pixels keep the result (most pixels of a photograph are
// shadows by this measure: gathering them costs more than it saves).
// Highlights are scaled by a factor of their own pixel.
void highlights_shadows_row(cv::Vec4f* px, int n, float h, float s) {
    using namespace lanes;
    if (s == 0.0f) return highlights_row(px, n, h);
    const int padded = (n + 3) / 4 * 4;
    cv::AutoBuffer<float> buffer(5 * padded);
    float* rgb = buffer.data();  // the row's R, G and B, one plane after another
    float* gamma = rgb + 3 * padded;  // a shadow pixel's exponent, 0 elsewhere
    float* factor = gamma + padded;  // a highlight pixel's factor, -1 elsewhere
    const V half = all(0.5f), none = all(0.0f) != all(0.0f);
    for_each_four_pixels(px, n, [&](int x, const V& r, const V& g, const V& b) {
        const V lum = highlights_luminance(r, g, b);
        const V shadow = lum < half;
        const V highlight = h != 0.0f ? (lum > half) & ~shadow : none;
        const V sd = tone::shadow_depth(lum);
        const V shadow_gamma = tone::limited_gamma(all(s) * sd * sd * sd, 1.5f, 0.3f, 3.0f);
        cv::v_store(gamma + x, select(shadow, shadow_gamma, all(0.0f)));
        cv::v_store(factor + x, select(highlight, highlight_factor(lum, h), all(-1.0f)));
        // powf of a negative value is NaN, which the clamp makes 0, as it makes 0 of 0.
        cv::v_store(rgb + x, cv::v_max(r, all(0.0f)));
        cv::v_store(rgb + padded + x, cv::v_max(g, all(0.0f)));
        cv::v_store(rgb + 2 * padded + x, cv::v_max(b, all(0.0f)));
        return false;
    });
    cv::hal::log32f(rgb, rgb, 3 * padded);
    for (int c = 0; c < 3; ++c)
        for (int x = 0; x < padded; x += 4) {
            float* logs = rgb + c * padded + x;
            cv::v_store(logs, cv::v_load(logs) * cv::v_load(gamma + x));
        }
    cv::hal::exp32f(rgb, rgb, 3 * padded);
    for_each_four_pixels(px, n, [&](int x, V& r, V& g, V& b) {
        const V shadow = cv::v_load(gamma + x) > all(0.0f);
        const V k = cv::v_load(factor + x), highlight = k > all(0.0f);
        r = select(shadow, clamp01(cv::v_load(rgb + x)), select(highlight, clamp01(r * k), r));
        g = select(shadow, clamp01(cv::v_load(rgb + padded + x)), select(highlight, clamp01(g * k), g));
        b = select(shadow, clamp01(cv::v_load(rgb + 2 * padded + x)), select(highlight, clamp01(b * k), b));
        return true;
    });
}

}  // namespace

void Pipeline::apply_highlights_shadows(RowPass& pass, const EditParams& params) {
    const float h = tone::finite_or(params.highlights, 0.0f) / 100.0f;
    const float s = tone::finite_or(params.shadows, 0.0f) / 100.0f;
    if (h == 0.0f && s == 0.0f) return;

    pass.add([h, s](int, cv::Vec4f* px, int n) { highlights_shadows_row(px, n, h, s); });
}

void Pipeline::apply_whites_blacks(RowPass& pass, const EditParams& params) {
    const float whites = tone::finite_or(params.whites, 0.0f);
    const float blacks = tone::finite_or(params.blacks, 0.0f);
    if (whites == 0.0f && blacks == 0.0f) return;

    const float black = (blacks / 100.0f) * 0.1f;
    const float range = (1.0f + (whites / 100.0f) * 0.2f) - black;
    if (!(range > 0.0f)) {
        // White point at or below the black point: the range has shrunk to a
        // step at the black point, the limit of an ever steeper ramp.
        pass.add(rgb_kernel([black](float& r, float& g, float& b) {
            r = r > black ? 1.0f : 0.0f;
            g = g > black ? 1.0f : 0.0f;
            b = b > black ? 1.0f : 0.0f;
        }), RowPass::per_channel);
        return;
    }
    // (v - black) / range as one scale and offset, as a matrix expression evaluates it.
    const float scale = static_cast<float>(1.0 / range);
    const float offset = static_cast<float>(-static_cast<double>(black) / range);
    pass.add(pixel_kernel([scale, offset](const lanes::V& v) {
        return clamp01(v * lanes::all(scale) + lanes::all(offset));
    }), RowPass::per_channel);
}

void Pipeline::apply_contrast(RowPass& pass, const EditParams& params) {
    const float contrast = tone::finite_or(params.contrast, 0.0f);
    if (contrast == 0.0f || pass.empty()) return;
    const float slope = std::max(1.0f + (contrast / 100.0f) * 0.8f, 0.2f);
    constexpr float kSoftness = 0.4f;
    pass.add(pixel_kernel([slope](const lanes::V& c) { return clamp01(tone::soft_contrast(c, slope, kSoftness)); }),
             RowPass::per_channel);
}

}  // namespace vornalix
