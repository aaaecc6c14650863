// Global tone: white balance, exposure, brightness, highlights and shadows,
// whites and blacks, contrast.

#include "pipeline/pipeline.h"
#include "pipeline/pixel.h"
#include "pipeline/stage_loops.h"
#include "pipeline/tone_math.h"

#include <opencv2/imgproc.hpp>

#include <cfloat>
#include <cmath>

namespace vornalix {

using pixel::clamp01;

void Pipeline::apply_white_balance(cv::Mat& working, const EditParams& params) {
    constexpr float kNeutralKelvin = 6500.0f;
    constexpr float kTintPerUnit = 0.15f / 150.0f;
    const float kelvin = tone::finite_or(params.temperature, kNeutralKelvin);
    const float tint = tone::finite_or(params.tint, 0.0f);
    if (std::fabs(kelvin - kNeutralKelvin) < 1.0f && std::fabs(tint) < 0.1f) return;

    const tone::Rgb m = tone::blackbody_multipliers(kelvin, tint, kNeutralKelvin, kTintPerUnit);
    for_each_rgb(working, [&](float& r, float& g, float& b) {
        r = clamp01(r * m.r);
        g = clamp01(g * m.g);
        b = clamp01(b * m.b);
    });
}

void Pipeline::apply_exposure(cv::Mat& working, const EditParams& params) {
    const float ev = tone::finite_or(params.exposure, 0.0f);
    if (ev == 0.0f) return;
    const float factor = tone::exposure_factor(ev);
    for_each_colour_plane(working, [&](cv::Mat& plane) {
        plane.convertTo(plane, -1, factor, 0.0);
        cv::threshold(plane, plane, 1.0, 0.0, cv::THRESH_TRUNC);
    });
}

void Pipeline::apply_brightness(cv::Mat& working, const EditParams& params) {
    const float value = tone::finite_or(params.brightness, 0.0f);
    if (value == 0.0f) return;
    const float gamma = tone::limited_gamma(value / 100.0f, 0.5f, 0.1f, 10.0f);
    for_each_colour_plane(working, [&](cv::Mat& plane) { cv::pow(plane, gamma, plane); });
}

void Pipeline::apply_highlights_shadows(cv::Mat& working, const EditParams& params) {
    const float h = tone::finite_or(params.highlights, 0.0f) / 100.0f;
    const float s = tone::finite_or(params.shadows, 0.0f) / 100.0f;
    if (h == 0.0f && s == 0.0f) return;

    for_each_rgb(working, [&](float& r, float& g, float& b) {
        const float lum = std::max(pixel::luminance(r, g, b), 1e-6f);
        if (s != 0.0f && lum < 0.5f) {
            const float d = tone::shadow_depth(lum);
            const float gamma = tone::limited_gamma(s * d * d * d, 1.5f, 0.3f, 3.0f);
            r = clamp01(std::pow(r, gamma));
            g = clamp01(std::pow(g, gamma));
            b = clamp01(std::pow(b, gamma));
        } else if (h != 0.0f && lum > 0.5f) {
            const float d = tone::highlight_depth(lum);
            const float k = std::max(std::min(1.0f + 0.4f * h * d * d, 2.0f), 0.3f);
            r = clamp01(r * k);
            g = clamp01(g * k);
            b = clamp01(b * k);
        }
    });
}

void Pipeline::apply_whites_blacks(cv::Mat& working, const EditParams& params) {
    const float whites = tone::finite_or(params.whites, 0.0f);
    const float blacks = tone::finite_or(params.blacks, 0.0f);
    if (whites == 0.0f && blacks == 0.0f) return;

    const float black = (blacks / 100.0f) * 0.1f;
    const float range = (1.0f + (whites / 100.0f) * 0.2f) - black;
    for_each_colour_plane(working, [&](cv::Mat& plane) {
        if (!(range > 0.0f)) {
            // White point at or below the black point: the range has shrunk to a
            // step at the black point, the limit of an ever steeper ramp.
            cv::threshold(plane, plane, black, 1.0, cv::THRESH_BINARY);
            return;
        }
        plane = (plane - black) / static_cast<double>(range);
        cv::threshold(plane, plane, 0.0, 0.0, cv::THRESH_TOZERO);
        cv::threshold(plane, plane, 1.0, 0.0, cv::THRESH_TRUNC);
    });
}

void Pipeline::apply_contrast(cv::Mat& working, const EditParams& params) {
    const float contrast = tone::finite_or(params.contrast, 0.0f);
    if (contrast == 0.0f || working.rows == 0 || working.cols == 0) return;
    const float slope = std::max(1.0f + (contrast / 100.0f) * 0.8f, 0.2f);
    for_each_rgb(working, [&](float& r, float& g, float& b) {
        r = clamp01(tone::soft_contrast(r, slope, 0.4f));
        g = clamp01(tone::soft_contrast(g, slope, 0.4f));
        b = clamp01(tone::soft_contrast(b, slope, 0.4f));
    });
}

}  // namespace vornalix
