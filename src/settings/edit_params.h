#pragma once
// The record of every edit setting of a context, stored exactly as the
// setters receive them. The stages give each field its meaning and scale.

#include "settings/settings_table.h"

#include <array>
#include <utility>
#include <vector>

namespace vornalix {

// One tone curve: (x, y) points in the order the host gave them.
struct CurvePoints {
    std::vector<std::pair<float, float>> points{{0.0f, 0.0f}, {1.0f, 1.0f}};

    bool is_identity() const;
    bool operator==(const CurvePoints& other) const { return points == other.points; }
};

struct HslBand {
    float hue = 0.0f;
    float saturation = 0.0f;
    float luminance = 0.0f;
};

// The fields of each composite row of the settings table.
#define VORNALIX_FIELDS_tone_curve std::array<CurvePoints, 4> curves{}; /* master, red, green, blue */
#define VORNALIX_FIELDS_hsl std::array<HslBand, 8> hsl{};
#define VORNALIX_FIELDS_split_toning        \
    float split_highlight_hue = 0.0f;        \
    float split_highlight_saturation = 0.0f; \
    float split_shadow_hue = 0.0f;           \
    float split_shadow_saturation = 0.0f;    \
    float split_balance = 0.0f;
#define VORNALIX_FIELDS_crop \
    float crop_x = 0.0f;     \
    float crop_y = 0.0f;     \
    float crop_w = 0.0f;     \
    float crop_h = 0.0f;

struct EditParams {
#define VORNALIX_PLAIN_FIELD(key, type, value, ...) type key = value;
#define VORNALIX_COMPOSITE_FIELDS(name) VORNALIX_FIELDS_##name
    VORNALIX_SETTINGS(VORNALIX_PLAIN_FIELD, VORNALIX_COMPOSITE_FIELDS)
#undef VORNALIX_PLAIN_FIELD
#undef VORNALIX_COMPOSITE_FIELDS
};

}  // namespace vornalix
