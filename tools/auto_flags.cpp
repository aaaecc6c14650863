#include "auto_flags.h"

#include "cli.h"
#include "edit_flags.h"

namespace cli {

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
        // Each setting the settings schema says a suggestion feeds.
        nlohmann::json suggested = nlohmann::json::object();
        for (const nlohmann::json& setting : settings_schema()) {
            const nlohmann::json& entry = setting["suggestion"];
            if (!entry.is_null()) suggested[setting["key"]] = suggestions[entry.get<int>()];
        }
        std::string error;
        if (merge_settings(ctx, suggested, error) != 0) return library_failure(ctx, "auto-enhance failed");
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
