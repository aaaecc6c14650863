#pragma once
// The render's stages, in the order it runs them. X(name) stands for the
// member functions Pipeline::apply_<name>, which live in the stage's own file.
// A new stage is one line here plus that file.

#define VORNALIX_STAGES(X)   \
    X(white_balance)         \
    X(exposure)              \
    X(brightness)            \
    X(highlights_shadows)    \
    X(whites_blacks)         \
    X(contrast)              \
    X(tone_curves)           \
    X(clarity_texture)       \
    X(dehaze)                \
    X(saturation_vibrance)   \
    X(hsl)                   \
    X(split_toning)          \
    X(noise_reduction)       \
    X(sharpening)            \
    X(lens_corrections)      \
    X(geometry)              \
    X(vignette)              \
    X(grain)
