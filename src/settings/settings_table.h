#pragma once
// Every edit setting, once. A plain setting is one row
//
//   PLAIN(key, type, default, front_end_default, min, max, flag, unit, suggestion)
//
// key        the field of EditParams, the setter's suffix, the settings
//            document's key and the Python name;
// default    the library's default (what a reset restores);
// front_end_default  what the command line and Python start from;
// min, max   the documented range: the front-ends refuse values outside it
//            unless told to allow extremes, the setters store anything;
// flag       the command-line flag without its dashes;
// unit       unit and meaning for --help ("" when the range says it all);
// suggestion the auto-enhance entry that feeds the setting, or kNoSuggestion
//            (the sharpening entries 11..13 hold 0, which would switch
//            sharpening off, so they feed nothing).
//
// Settings with several parts (tone curves, HSL, split toning, crop) are
// COMPOSITE(name) rows: their fields, setters and document form are written
// by hand, once each; the row keeps their place in the record and the document.

namespace vornalix {
constexpr int kNoSuggestion = -1;
}  // namespace vornalix

// clang-format off
#define VORNALIX_SETTINGS(PLAIN, COMPOSITE) \
    PLAIN(exposure,             float, 0.0f,    0.0f,    -5.0f,    5.0f,     "exposure",             "EV (stops)",                      0)  \
    PLAIN(brightness,           float, 0.0f,    0.0f,    -100.0f,  100.0f,   "brightness",           "",                                1)  \
    PLAIN(contrast,             float, 0.0f,    0.0f,    -100.0f,  100.0f,   "contrast",             "",                                2)  \
    PLAIN(highlights,           float, 0.0f,    0.0f,    -100.0f,  100.0f,   "highlights",           "",                                3)  \
    PLAIN(shadows,              float, 0.0f,    0.0f,    -100.0f,  100.0f,   "shadows",              "",                                4)  \
    PLAIN(whites,               float, 0.0f,    0.0f,    -100.0f,  100.0f,   "whites",               "",                                5)  \
    PLAIN(blacks,               float, 0.0f,    0.0f,    -100.0f,  100.0f,   "blacks",               "",                                6)  \
    PLAIN(temperature,          float, 5500.0f, 6500.0f, 2000.0f,  12000.0f, "temperature",          "white balance in kelvin (6500: as shot)", 7) \
    PLAIN(tint,                 float, 0.0f,    0.0f,    -150.0f,  150.0f,   "tint",                 "green (-) to magenta (+)",        8)  \
    PLAIN(saturation,           float, 0.0f,    0.0f,    -100.0f,  100.0f,   "saturation",           "",                                9)  \
    PLAIN(vibrance,             float, 0.0f,    0.0f,    -100.0f,  100.0f,   "vibrance",             "",                                10) \
    PLAIN(sharpening_amount,    float, 0.0f,    0.0f,    0.0f,     150.0f,   "sharpening",           "sharpening amount",               vornalix::kNoSuggestion) \
    PLAIN(sharpening_radius,    float, 1.0f,    1.0f,    0.5f,     3.0f,     "sharpening-radius",    "pixels",                          vornalix::kNoSuggestion) \
    PLAIN(sharpening_threshold, float, 0.0f,    0.0f,    0.0f,     100.0f,   "sharpening-threshold", "masking",                         vornalix::kNoSuggestion) \
    PLAIN(nr_luminance,         float, 0.0f,    0.0f,    0.0f,     100.0f,   "nr-luminance",         "luminance noise reduction",       14) \
    PLAIN(nr_color,             float, 0.0f,    0.0f,    0.0f,     100.0f,   "nr-color",             "colour noise reduction",          15) \
    PLAIN(clarity,              float, 0.0f,    0.0f,    -100.0f,  100.0f,   "clarity",              "mid-tone local contrast",         vornalix::kNoSuggestion) \
    PLAIN(texture,              float, 0.0f,    0.0f,    -100.0f,  100.0f,   "texture",              "fine detail",                     vornalix::kNoSuggestion) \
    PLAIN(dehaze,               float, 0.0f,    0.0f,    0.0f,     100.0f,   "dehaze",               "",                                vornalix::kNoSuggestion) \
    COMPOSITE(tone_curve)                                                                                                                    \
    COMPOSITE(hsl)                                                                                                                           \
    COMPOSITE(split_toning)                                                                                                                  \
    PLAIN(lens_profile,         int,   0,       1,       0.0f,     1.0f,     "lens-profile",         "lens profile from the database (RAW files)", vornalix::kNoSuggestion) \
    PLAIN(distortion,           float, 0.0f,    0.0f,    -100.0f,  100.0f,   "distortion",           "lens distortion correction",      vornalix::kNoSuggestion) \
    PLAIN(ca_correction,        float, 0.0f,    0.0f,    0.0f,     100.0f,   "ca-correction",        "chromatic aberration correction", vornalix::kNoSuggestion) \
    PLAIN(lens_vignette,        float, 0.0f,    0.0f,    0.0f,     100.0f,   "lens-vignette",        "lens vignetting correction",      vornalix::kNoSuggestion) \
    PLAIN(defringe,             float, 0.0f,    0.0f,    0.0f,     100.0f,   "defringe",             "",                                vornalix::kNoSuggestion) \
    COMPOSITE(crop)                                                                                                                          \
    PLAIN(rotation,             float, 0.0f,    0.0f,    -45.0f,   45.0f,    "rotation",             "degrees",                         vornalix::kNoSuggestion) \
    PLAIN(perspective_h,        float, 0.0f,    0.0f,    -100.0f,  100.0f,   "perspective-h",        "horizontal perspective",          vornalix::kNoSuggestion) \
    PLAIN(perspective_v,        float, 0.0f,    0.0f,    -100.0f,  100.0f,   "perspective-v",        "vertical perspective",            vornalix::kNoSuggestion) \
    PLAIN(flip_h,               int,   0,       0,       0.0f,     1.0f,     "flip-h",               "mirror left to right",            vornalix::kNoSuggestion) \
    PLAIN(flip_v,               int,   0,       0,       0.0f,     1.0f,     "flip-v",               "mirror top to bottom",            vornalix::kNoSuggestion) \
    PLAIN(vignette_amount,      float, 0.0f,    0.0f,    -100.0f,  100.0f,   "vignette",             "post-crop vignette; positive darkens the edges", vornalix::kNoSuggestion) \
    PLAIN(vignette_midpoint,    float, 50.0f,   50.0f,   0.0f,     100.0f,   "vignette-midpoint",    "",                                vornalix::kNoSuggestion) \
    PLAIN(vignette_roundness,   float, 0.0f,    0.0f,    -100.0f,  100.0f,   "vignette-roundness",   "",                                vornalix::kNoSuggestion) \
    PLAIN(grain_amount,         float, 0.0f,    0.0f,    0.0f,     100.0f,   "grain",                "film grain amount",               vornalix::kNoSuggestion) \
    PLAIN(grain_size,           float, 25.0f,   25.0f,   0.0f,     100.0f,   "grain-size",           "",                                vornalix::kNoSuggestion)
// clang-format on

// The documented ranges of the parts of the settings with several parts:
// PART(name, min, max). The front-ends check them as they check the rows above.
#define VORNALIX_PART_RANGES(PART)                                          \
    PART(tone_curve, 0.0f, 1.0f)              /* each point's x and y */  \
    PART(hsl, -100.0f, 100.0f)                /* hue, saturation, luminance */ \
    PART(split_toning_hue, 0.0f, 360.0f)      /* degrees */               \
    PART(split_toning_saturation, 0.0f, 100.0f)                           \
    PART(split_toning_balance, -100.0f, 100.0f)                           \
    PART(crop, 0.0f, 1.0f)                    /* fractions of width and height */

// The front-ends' output options, which are no edit setting: OUTPUT(name,
// front_end_default, min, max).
#define VORNALIX_OUTPUT_OPTIONS(OUTPUT)                                     \
    OUTPUT(jpeg_quality, 92, 1, 100)                                        \
    OUTPUT(keep_exif, 1, 0, 1) /* a JPEG carries the source's EXIF */

// For a row kind a use of the table does not need.
#define VORNALIX_SETTINGS_SKIP(...)
