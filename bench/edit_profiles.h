#pragma once
// The edit profiles the benchmark times and the golden renders keep: the
// settings a photographer typically touches, and every setting at once.
// Plain C interface calls, so the benchmark drives the library as a host does.

#include "vornalix.h"

namespace edit_profiles {

enum Profile { kDefaults = 0, kTypical = 1, kEverything = 2 };

inline void typical_edit(VornalixContext* ctx) {
    static const float curve[] = {0.0f, 0.0f, 0.25f, 0.22f, 0.75f, 0.80f, 1.0f, 1.0f};
    vornalix_set_temperature(ctx, 5200.0f);
    vornalix_set_tint(ctx, 5.0f);
    vornalix_set_exposure(ctx, 0.5f);
    vornalix_set_contrast(ctx, 20.0f);
    vornalix_set_tone_curve(ctx, 0, curve, 4);
    vornalix_set_saturation(ctx, 15.0f);
    vornalix_set_sharpening_amount(ctx, 40.0f);
    vornalix_set_sharpening_radius(ctx, 1.0f);
    vornalix_set_sharpening_threshold(ctx, 64.0f);
    vornalix_set_vignette_amount(ctx, 25.0f);
}

// The typical edit plus every other setting at a mid-slider value. Grain is
// drawn from an unseeded generator: `with_grain` false leaves it out where a
// render must be reproducible.
inline void everything_on(VornalixContext* ctx, bool with_grain = true) {
    static const float red_curve[] = {0.0f, 0.0f, 0.5f, 0.55f, 1.0f, 1.0f};
    typical_edit(ctx);
    vornalix_set_brightness(ctx, 10.0f);
    vornalix_set_highlights(ctx, -30.0f);
    vornalix_set_shadows(ctx, 30.0f);
    vornalix_set_whites(ctx, 10.0f);
    vornalix_set_blacks(ctx, 5.0f);
    vornalix_set_tone_curve(ctx, 1, red_curve, 3);
    vornalix_set_clarity(ctx, 30.0f);
    vornalix_set_texture(ctx, 20.0f);
    vornalix_set_dehaze(ctx, 25.0f);
    vornalix_set_vibrance(ctx, 20.0f);
    vornalix_set_hsl(ctx, 2, 10.0f, 20.0f, -10.0f);
    vornalix_set_hsl(ctx, 5, -5.0f, 15.0f, 0.0f);
    vornalix_set_split_toning(ctx, 0, 40.0f, 30.0f, 10.0f);
    vornalix_set_split_toning(ctx, 1, 220.0f, 25.0f, 0.0f);
    vornalix_set_nr_luminance(ctx, 30.0f);
    vornalix_set_nr_color(ctx, 30.0f);
    vornalix_set_distortion(ctx, 10.0f);
    vornalix_set_ca_correction(ctx, 30.0f);
    vornalix_set_lens_vignette(ctx, 30.0f);
    vornalix_set_defringe(ctx, 30.0f);
    vornalix_set_rotation(ctx, 2.0f);
    vornalix_set_perspective_h(ctx, 10.0f);
    vornalix_set_perspective_v(ctx, -10.0f);
    vornalix_set_crop(ctx, 0.05f, 0.05f, 0.9f, 0.9f);
    if (with_grain) {
        vornalix_set_grain_amount(ctx, 20.0f);
        vornalix_set_grain_size(ctx, 25.0f);
    }
}

inline void set_profile(VornalixContext* ctx, int profile, bool with_grain = true) {
    vornalix_reset_adjustments(ctx);
    if (profile == kTypical) typical_edit(ctx);
    if (profile == kEverything) everything_on(ctx, with_grain);
}

}  // namespace edit_profiles
