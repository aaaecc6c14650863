#pragma once
// The look the command line lays over a freshly loaded photograph, weakest
// first: the camera's own white balance (temperature 6500, tint 0, unlike the
// library's 5500 default), the automatic suggestions (--auto), a settings
// document (--settings FILE, only the keys it names), then the edit flags.

#include "auto_flags.h"
#include "edit_flags.h"
#include "vornalix.h"

#include <cstdio>
#include <set>
#include <string>

namespace cli {

class Look {
public:
    using Result = EditFlags::Result;

    // Takes --auto, --auto-straighten, --auto-crop, --settings FILE (read and
    // checked at once) and every edit flag; anything else is not_mine.
    Result parse(int argc, char** argv, int& i, std::string& error);

    // Applies the look to the loaded photograph. Returns 0, or non-zero with
    // the reason in `error`.
    int apply(VornalixContext* ctx, std::string& error) const;

    static void print_help(std::FILE* out);

private:
    AutoFlags autos_;
    std::string settings_path_;
    std::string settings_text_;
    std::set<std::string> settings_keys_;
    EditFlags flags_;
};

// A note for the help texts on what the defaults are.
extern const char* const kDefaultsNote;

}  // namespace cli
