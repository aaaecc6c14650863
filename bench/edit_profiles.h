#pragma once
// The edit profiles the benchmark times and the golden renders keep: the
// settings a photographer typically touches, and every setting at once.
// Settings documents by key, so the benchmark drives the library as a host does.

#include "vornalix.h"

#include <string>

namespace edit_profiles {

enum Profile { kDefaults = 0, kTypical = 1, kEverything = 2 };

inline const std::string kTypicalKeys =
    R"("temperature": 5200, "tint": 5, "exposure": 0.5, "contrast": 20, "saturation": 15,
       "sharpening_amount": 40, "sharpening_radius": 1, "sharpening_threshold": 64, "vignette_amount": 25)";
inline const std::string kMasterCurve = R"("master": [[0, 0], [0.25, 0.22], [0.75, 0.8], [1, 1]])";

// The typical edit plus every other setting at a mid-slider value.
inline const std::string kEverythingKeys = R"("brightness": 10, "highlights": -30, "shadows": 30, "whites": 10,
    "blacks": 5, "clarity": 30, "texture": 20, "dehaze": 25, "vibrance": 20, "nr_luminance": 30, "nr_color": 30,
    "distortion": 10, "ca_correction": 30, "lens_vignette": 30, "defringe": 30, "rotation": 2,
    "perspective_h": 10, "perspective_v": -10, "crop": [0.05, 0.05, 0.9, 0.9],
    "hsl": {"yellow": [10, 20, -10], "blue": [-5, 15, 0]},
    "split_toning": {"highlight": [40, 30], "shadow": [220, 25], "balance": 10})";
inline const std::string kRedCurve = R"("red": [[0, 0], [0.5, 0.55], [1, 1]])";

// Grain is drawn from an unseeded generator: `with_grain` false leaves it out
// where a render must be reproducible.
inline void set_profile(VornalixContext* ctx, int profile, bool with_grain = true) {
    std::string document = "{";
    if (profile == kTypical) document += kTypicalKeys + R"(, "tone_curve": {)" + kMasterCurve + "}";
    if (profile == kEverything) {
        document += kTypicalKeys + ", " + kEverythingKeys + R"(, "tone_curve": {)" + kMasterCurve + ", " + kRedCurve + "}";
        if (with_grain) document += R"(, "grain_amount": 20, "grain_size": 25)";
    }
    vornalix_settings_from_json(ctx, (document + "}").c_str());
}

}  // namespace edit_profiles
