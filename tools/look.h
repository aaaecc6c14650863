#pragma once
// The look the command line lays over a freshly loaded photograph, weakest
// first: the camera's own white balance (temperature 6500, tint 0, unlike the
// library's 5500 default) and, for a RAW file, the camera's own tone curve
// (--look camera, the default; --look flat keeps the plain development), the
// automatic suggestions (--auto), a settings document (--settings FILE, only
// the keys it names), then the edit flags.

#include "auto_flags.h"
#include "edit_flags.h"
#include "vornalix.h"

#include <cstdio>
#include <set>
#include <string>
#include <vector>

namespace cli {

class Look {
public:
    using Result = EditFlags::Result;

    // Takes --look camera|flat, --auto, --auto-straighten, --auto-crop,
    // --settings FILE (read and checked at once) and every edit flag;
    // anything else is not_mine.
    Result parse(int argc, char** argv, int& i, std::string& error);

    // Applies the look to the loaded photograph. Returns 0, or non-zero with
    // the reason in `error`.
    int apply(VornalixContext* ctx, std::string& error) const;

    static void print_help(std::FILE* out);

private:
    // Lays the camera's tone curve over a RAW file (--look camera) and, for
    // --auto, measures the white balance of a picture the camera did not
    // develop; false with `error` when the library fails.
    bool apply_camera_look(VornalixContext* ctx, std::string& error) const;

    bool camera_look_ = true;
    AutoFlags autos_;
    std::string settings_path_;
    std::string settings_text_;
    std::set<std::string> settings_keys_;
    EditFlags flags_;
};

// A note for the help texts on what the defaults are.
extern const char* const kDefaultsNote;

}  // namespace cli
