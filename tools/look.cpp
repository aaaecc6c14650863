#include "look.h"

#include "cli.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <map>
#include <sstream>

namespace cli {

const char* const kDefaultsNote =
    "Photographs are developed as shot: temperature 6500 and tint 0 keep the camera's white balance\n"
    "(the library's own default is 5500) unless --temperature, --tint, --auto or a settings file\n"
    "say otherwise. Outputs keep the working size: at most 2000 pixels on the long side for RAW\n"
    "files, 4096 for other images.\n";

namespace {

// The suggestions of vornalix_auto_enhance that --auto applies, by entry.
// Entries 11..13 (sharpening) are always 0 and would switch sharpening off.
struct Suggestion {
    int entry;
    const char* key;
    void (*set)(VornalixContext*, float);
};
const Suggestion kSuggestions[] = {
    {0, "exposure", vornalix_set_exposure},       {1, "brightness", vornalix_set_brightness},
    {2, "contrast", vornalix_set_contrast},       {3, "highlights", vornalix_set_highlights},
    {4, "shadows", vornalix_set_shadows},         {5, "whites", vornalix_set_whites},
    {6, "blacks", vornalix_set_blacks},           {7, "temperature", vornalix_set_temperature},
    {8, "tint", vornalix_set_tint},               {9, "saturation", vornalix_set_saturation},
    {10, "vibrance", vornalix_set_vibrance},      {14, "nr_luminance", vornalix_set_nr_luminance},
    {15, "nr_color", vornalix_set_nr_color},
};
constexpr float kAsShotTemperature = 6500.0f;
constexpr float kAsShotTint = 0.0f;

bool read_file(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return static_cast<bool>(in) || in.eof();
}

}  // namespace

Look::Result Look::parse(int argc, char** argv, int& i, std::string& error) {
    const std::string arg = argv[i];
    if (arg == "--auto") {
        auto_ = true;
        return Result::parsed;
    }
    if (arg == "--settings") {
        if (++i >= argc) {
            error = "--settings needs a file name";
            return Result::error;
        }
        settings_path_ = argv[i];
        if (!read_file(settings_path_, settings_text_)) {
            error = "cannot read settings file " + settings_path_;
            return Result::error;
        }
        // The library checks the document now, so a faulty one stops the
        // command before any photograph is loaded.
        Context scratch;
        if (!scratch || vornalix_settings_from_json(scratch.get(), settings_text_.c_str()) != 0) {
            error = settings_path_ + ": " + (scratch ? vornalix_last_error(scratch.get()) : "no context");
            return Result::error;
        }
        settings_keys_.clear();
        const nlohmann::json document = nlohmann::json::parse(settings_text_);
        for (const auto& item : document.items()) settings_keys_.insert(item.key());
        return Result::parsed;
    }
    return flags_.parse(argc, argv, i, error);
}

int Look::apply(VornalixContext* ctx, std::string& error) const {
    std::map<std::string, std::pair<void (*)(VornalixContext*, float), float>> base = {
        {"temperature", {vornalix_set_temperature, kAsShotTemperature}},
        {"tint", {vornalix_set_tint, kAsShotTint}},
    };
    if (auto_) {
        float suggested[32];
        if (vornalix_auto_enhance(ctx, suggested) != 0) {
            error = std::string("automatic analysis failed: ") + vornalix_last_error(ctx);
            return kFailure;
        }
        for (const Suggestion& s : kSuggestions) base[s.key] = {s.set, suggested[s.entry]};
    }
    if (!settings_text_.empty() && vornalix_settings_from_json(ctx, settings_text_.c_str()) != 0) {
        error = settings_path_ + ": " + vornalix_last_error(ctx);
        return kFailure;
    }
    // A settings document wins over the camera's white balance and the suggestions.
    for (const auto& [key, setter] : base)
        if (!settings_keys_.count(key)) setter.first(ctx, setter.second);
    flags_.apply(ctx);
    return 0;
}

void Look::print_help(std::FILE* out) {
    std::fprintf(out,
                 "look (weakest first; later ones win):\n"
                 "  %-28s %s\n  %-28s %s\n  %-28s %s\n\n",
                 "--auto", "apply the automatic suggestions (exposure, tone, white balance, colour,",
                 "", "noise reduction)",
                 "--settings FILE", "a settings document (vornalix settings IN > FILE); keys it names win");
    EditFlags::print_help(out);
    std::fprintf(out, "\n%s", kDefaultsNote);
}

}  // namespace cli
