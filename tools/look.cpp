#include "look.h"

#include "cli.h"

#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>

namespace cli {

const char* const kDefaultsNote =
    "Photographs are developed as shot: temperature 6500 and tint 0 keep the camera's white balance\n"
    "(the library's own default is 5500) unless --temperature, --tint, --auto or a settings file\n"
    "say otherwise. Outputs keep the working size: at most 2000 pixels on the long side for RAW\n"
    "files, 4096 for other images.\n";

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
    nlohmann::json front_end_defaults = nlohmann::json::object();
    for (const nlohmann::json& setting : settings_schema())
        front_end_defaults[setting["key"]] = setting["front_end_default"];
    if (merge_settings(ctx, front_end_defaults, error) != 0) return kFailure;
    if (autos_.apply(ctx) != 0) {
        error = std::string("automatic analysis failed: ") + vornalix_last_error(ctx);
        return kFailure;
    }
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
    AutoFlags::print_help(out);
    std::fprintf(out, "settings document (wins over the suggestions; the edit flags win over it):\n  %-28s %s\n\n",
                 "--settings FILE", "a settings document (vornalix settings IN > FILE); only the keys it names");
    EditFlags::print_help(out);
    std::fprintf(out, "\n%s", kDefaultsNote);
}

}  // namespace cli
