#include "auto_flags.h"

#include "cli.h"

namespace cli {

namespace {

// Setters for the auto-enhance entries that carry a suggestion. Entries
// 11..13 (sharpening) are always 0 and would switch sharpening off, so they
// are left out, as are the unused entries 16..31.
struct Suggested {
    int entry;
    void (*set)(VornalixContext*, float);
};

const Suggested kSuggested[] = {
    {0, vornalix_set_exposure},   {1, vornalix_set_brightness}, {2, vornalix_set_contrast},
    {3, vornalix_set_highlights}, {4, vornalix_set_shadows},    {5, vornalix_set_whites},
    {6, vornalix_set_blacks},     {7, vornalix_set_temperature}, {8, vornalix_set_tint},
    {9, vornalix_set_saturation}, {10, vornalix_set_vibrance},  {14, vornalix_set_nr_luminance},
    {15, vornalix_set_nr_color},
};

}  // namespace

bool AutoFlags::parse(const std::string& arg) {
    if (arg == "--auto") return enhance = true;
    if (arg == "--auto-straighten") return straighten = true;
    if (arg == "--auto-crop") return crop = true;
    return false;
}

int AutoFlags::apply(VornalixContext* ctx) const {
    if (enhance) {
        float suggestions[32];
        if (vornalix_auto_enhance(ctx, suggestions) != 0) return library_failure(ctx, "auto-enhance failed");
        for (const Suggested& s : kSuggested) s.set(ctx, suggestions[s.entry]);
    }
    if (straighten) {
        // The analysis reports the negated tilt with y downward, while a
        // positive rotation turns the picture counter-clockwise: the
        // levelling turn is the negated suggestion.
        float degrees = 0.0f;
        if (vornalix_auto_straighten(ctx, &degrees) != 0) return library_failure(ctx, "auto-straighten failed");
        vornalix_set_rotation(ctx, -degrees);
    }
    if (crop) {
        float x, y, w, h;
        if (vornalix_auto_crop(ctx, &x, &y, &w, &h) != 0) return library_failure(ctx, "auto-crop failed");
        vornalix_set_crop(ctx, x, y, w, h);
    }
    return 0;
}

void AutoFlags::print_help(std::FILE* out) {
    std::fprintf(out,
                 "automatic settings (measured on the loaded image; explicit settings win):\n"
                 "  %-28s %s\n  %-28s %s\n  %-28s %s\n\n",
                 "--auto", "suggested exposure, tone, white balance, vibrance and noise reduction",
                 "--auto-straighten", "level the dominant near-horizontal lines (sets the rotation)",
                 "--auto-crop", "suggested 3:2 crop (sets the crop)");
}

}  // namespace cli
