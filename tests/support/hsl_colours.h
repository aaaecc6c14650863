#pragma once
// Colours through the pipeline's own HSL conversions, as plain vectors
// (hue, saturation, lightness and red, green, blue, all 0..1).

#include "pipeline/pixel.h"

#include <opencv2/core.hpp>

inline cv::Vec3f hsl_of(const cv::Vec3f& c) {
    vornalix::pixel::Hsl h;
    vornalix::pixel::rgb_to_hsl(c[0], c[1], c[2], 1e-7f, h);
    return {h.h, h.s, h.l};
}

inline cv::Vec3f rgb_of_hsl(float h, float s, float l) {
    float r, g, b;
    vornalix::pixel::hsl_to_rgb({h, s, l}, r, g, b);
    return {r, g, b};
}
