#pragma once
// Settings documents: a whole edit as JSON text and back.
//
//   {"version": 1, "exposure": 0.5, ..., "crop": [x, y, w, h],
//    "tone_curve": {"master": [[x, y], ...], "red": ..., "green": ..., "blue": ...},
//    "hsl": {"red": [hue, saturation, luminance], ..., "magenta": [...]},
//    "split_toning": {"highlight": [hue, saturation], "shadow": [hue, saturation], "balance": b}}
//
// Keys are the setter names without their prefix; omitted keys take the
// defaults. The background blur belongs to the preview, not to the edit.

#include "settings/edit_params.h"

#include <string>
#include <string_view>

namespace vornalix {

constexpr int kSettingsVersion = 1;

// The whole edit as an indented document. Throws std::invalid_argument naming
// the key of a non-finite value (JSON cannot hold it, and a document that
// cannot be read back is no document).
std::string settings_to_json(const EditParams& params);

// Parses and checks a whole document and returns the edit it describes.
// Throws std::invalid_argument with a message naming the offending key.
EditParams settings_from_json(std::string_view text);

// Every plain setting of the settings table as one JSON text: key, type,
// default, front_end_default, min, max, flag, unit and suggestion (the
// auto-enhance entry, or null); then the ranges of the parts of the others.
std::string settings_schema();

}  // namespace vornalix
