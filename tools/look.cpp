#include "look.h"

#include "cli.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

namespace cli {

const char* const kDefaultsNote =
    "Photographs are developed as shot: temperature 6500 and tint 0 keep the camera's white balance\n"
    "(the library's own default is 5500) unless --temperature, --tint, --auto or a settings file\n"
    "say otherwise, and RAW files take the tone curves and saturation of the camera's own JPEG\n"
    "(--look flat: none).\n"
    "For other pictures --auto also measures the white balance.\n"
    "Outputs keep the working size: at most 2000 pixels on the long side for RAW files, 4096 for\n"
    "other images.\n";

namespace {

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
    if (autos_.parse(arg)) return Result::parsed;
    if (arg == "--look") {
        const std::string value = ++i < argc ? argv[i] : "";
        if (value != "camera" && value != "flat") {
            error = "--look needs camera or flat";
            return Result::error;
        }
        camera_look_ = value == "camera";
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

bool Look::apply_camera_look(VornalixContext* ctx, std::string& error) const {
    constexpr int kCurveRoom = 16;
    float points[4][2 * kCurveRoom];
    int counts[4] = {};
    // Only a RAW file with a picture of the camera's own has camera curves;
    // the flat look needs just to know whether there are any.
    bool developed_by_camera = true;
    for (int channel = 0; channel < (camera_look_ ? 4 : 1) && developed_by_camera; ++channel)
        developed_by_camera = vornalix_camera_curve(ctx, channel, points[channel], kCurveRoom, &counts[channel]) == 0;
    if (developed_by_camera && camera_look_) {
        for (int channel = 0; channel < 4; ++channel)
            vornalix_set_tone_curve(ctx, channel, points[channel], counts[channel]);
        // A saturation that --auto suggested stays.
        float saturation = 0.0f;
        if (!autos_.enhance && vornalix_camera_saturation(ctx, &saturation) == 0)
            vornalix_set_saturation(ctx, saturation);
    }
    if (!autos_.enhance || developed_by_camera) return true;
    // The suggestions keep a RAW file's white balance as shot; any other
    // picture gets its cast measured.
    float temperature = 0.0f, tint = 0.0f;
    if (vornalix_measure_white_balance(ctx, &temperature, &tint) != 0) {
        error = std::string("white balance measurement failed: ") + vornalix_last_error(ctx);
        return false;
    }
    vornalix_set_temperature(ctx, temperature);
    vornalix_set_tint(ctx, tint);
    return true;
}

int Look::apply(VornalixContext* ctx, std::string& error) const {
    nlohmann::json front_end_defaults = nlohmann::json::object();
    for (const nlohmann::json& setting : settings_schema())
        front_end_defaults[setting["key"]] = setting["front_end_default"];
    if (merge_settings(ctx, front_end_defaults, error) != 0) return kFailure;
    if (autos_.apply(ctx) != 0) {
        error = std::string("automatic analysis failed: ") + vornalix_last_error(ctx);
        return kFailure;
    }
    if (!apply_camera_look(ctx, error)) return kFailure;
    if (!settings_text_.empty()) {
        // The document's keys replace those of the camera's white balance and
        // the suggestions; every key it leaves out keeps what they set.
        if (merge_settings(ctx, nlohmann::json::parse(settings_text_), error) != 0) {
            error = settings_path_ + ": " + error;
            return kFailure;
        }
    }
    return flags_.apply(ctx, error);
}

void Look::print_help(std::FILE* out) {
    std::fprintf(out, "look of a RAW file:\n  %-28s %s\n\n", "--look camera|flat",
                 "camera: the curves and saturation of the camera's own JPEG (default); flat: the plain development");
    AutoFlags::print_help(out);
    std::fprintf(out, "settings document (wins over the suggestions; the edit flags win over it):\n  %-28s %s\n\n",
                 "--settings FILE", "a settings document (vornalix settings IN > FILE); only the keys it names");
    EditFlags::print_help(out);
    std::fprintf(out, "\n%s", kDefaultsNote);
}

}  // namespace cli
