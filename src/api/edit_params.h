#pragma once
// The record of every edit setting of a context, stored exactly as the
// setters receive them. The stages give each field its meaning and scale.

#include <array>
#include <utility>
#include <vector>

namespace vornalix {

// One tone curve: (x, y) points in the order the host gave them.
struct CurvePoints {
    std::vector<std::pair<float, float>> points{{0.0f, 0.0f}, {1.0f, 1.0f}};

    bool is_identity() const;
};

struct HslBand {
    float hue = 0.0f;
    float saturation = 0.0f;
    float luminance = 0.0f;
};

struct EditParams {
    float exposure = 0.0f;
    float brightness = 0.0f;
    float contrast = 0.0f;
    float highlights = 0.0f;
    float shadows = 0.0f;
    float whites = 0.0f;
    float blacks = 0.0f;
    float temperature = 5500.0f;
    float tint = 0.0f;
    float saturation = 0.0f;
    float vibrance = 0.0f;
    float sharpening_amount = 0.0f;
    float sharpening_radius = 1.0f;
    float sharpening_threshold = 0.0f;
    float nr_luminance = 0.0f;
    float nr_color = 0.0f;
    float clarity = 0.0f;
    float texture = 0.0f;
    float dehaze = 0.0f;
    std::array<CurvePoints, 4> curves{};  // master, red, green, blue
    std::array<HslBand, 8> hsl{};
    float split_highlight_hue = 0.0f;
    float split_highlight_saturation = 0.0f;
    float split_shadow_hue = 0.0f;
    float split_shadow_saturation = 0.0f;
    float split_balance = 0.0f;
    float distortion = 0.0f;
    float ca_correction = 0.0f;
    float lens_vignette = 0.0f;
    float defringe = 0.0f;
    float crop_x = 0.0f;
    float crop_y = 0.0f;
    float crop_w = 0.0f;
    float crop_h = 0.0f;
    float rotation = 0.0f;
    float perspective_h = 0.0f;
    float perspective_v = 0.0f;
    int flip_h = 0;
    int flip_v = 0;
    float vignette_amount = 0.0f;
    float vignette_midpoint = 50.0f;
    float vignette_roundness = 0.0f;
    float grain_amount = 0.0f;
    float grain_size = 25.0f;
};

}  // namespace vornalix
