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

void Pipeline::apply_highlights_shadows(RowPass& pass, const EditParams& params) {
    const float h = tone::finite_or(params.highlights, 0.0f) / 100.0f;
    const float s = tone::finite_or(params.shadows, 0.0f) / 100.0f;
    if (h == 0.0f && s == 0.0f) return;

    pass.add([h, s](int, cv::Vec4f* px, int n) {
        // Shadow channels are raised to a power of their own pixel: gathered
        // for the row and taken through OpenCV's vectorised logarithm and
        // exponential, which agree with powf far below a 16-bit step.
        cv::AutoBuffer<float> values(3 * n), gammas(n);
        cv::AutoBuffer<int> at(n);
        int lifted = 0;
        for (int x = 0; x < n; ++x) {
            float& r = px[x][0];
            float& g = px[x][1];
            float& b = px[x][2];
            const float lum = std::max(pixel::luminance(r, g, b), 1e-6f);
            if (s != 0.0f && lum < 0.5f) {
                const float d = tone::shadow_depth(lum);
                gammas[lifted] = tone::limited_gamma(s * d * d * d, 1.5f, 0.3f, 3.0f);
                // powf of a negative value is NaN, which the clamp makes 0, as it makes 0 of 0.
                for (int c = 0; c < 3; ++c) values[3 * lifted + c] = std::max(px[x][c], 0.0f);
                at[lifted++] = x;
            } else if (h != 0.0f && lum > 0.5f) {
                const float d = tone::highlight_depth(lum);
                const float k = std::max(std::min(1.0f + 0.4f * h * d * d, 2.0f), 0.3f);
                r = clamp01(r * k);
                g = clamp01(g * k);
                b = clamp01(b * k);
            }
        }
        if (lifted == 0) return;
        cv::hal::log32f(values.data(), values.data(), 3 * lifted);
        for (int i = 0; i < lifted; ++i)
            for (int c = 0; c < 3; ++c) values[3 * i + c] *= gammas[i];
        cv::hal::exp32f(values.data(), values.data(), 3 * lifted);
        for (int i = 0; i < lifted; ++i)
            for (int c = 0; c < 3; ++c) px[at[i]][c] = clamp01(values[3 * i + c]);
    });
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
    pass.add(rgb_kernel([scale, offset](float& r, float& g, float& b) {
        r = clamp01(r * scale + offset);
        g = clamp01(g * scale + offset);
        b = clamp01(b * scale + offset);
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
