#include "edit_flags.h"

#include "cli.h"

#include <algorithm>
#include <cstring>
#include <sstream>

namespace cli {

namespace {

const nlohmann::json& schema() {
    static const nlohmann::json parsed = nlohmann::json::parse(vornalix_settings_schema());
    return parsed;
}

}  // namespace

const nlohmann::json& settings_schema() { return schema()["settings"]; }

int merge_settings(VornalixContext* ctx, const nlohmann::json& values, std::string& error) {
    const int size = vornalix_settings_to_json(ctx, nullptr, 0);
    std::string current(static_cast<size_t>(size > 0 ? size : 1), '\0');
    if (size <= 0 || vornalix_settings_to_json(ctx, current.data(), size) != size) {
        error = vornalix_last_error(ctx);
        return kFailure;
    }
    nlohmann::json merged = nlohmann::json::parse(current.c_str());
    for (const auto& item : values.items()) merged[item.key()] = item.value();
    if (vornalix_settings_from_json(ctx, merged.dump().c_str()) != 0) {
        error = vornalix_last_error(ctx);
        return kFailure;
    }
    return 0;
}

namespace {

const nlohmann::json* setting_of_flag(const std::string& flag) {
    for (const nlohmann::json& setting : settings_schema())
        if (setting["flag"] == flag) return &setting;
    return nullptr;
}

// --allow-extreme counts wherever it stands, before or after the values it lets through.
bool extremes_allowed(int argc, char** argv) {
    return std::any_of(argv, argv + argc, [](const char* arg) { return std::strcmp(arg, "--allow-extreme") == 0; });
}

std::string shown(double number) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", number);
    return text;
}

std::string range_of(double min, double max) { return shown(min) + ".." + shown(max); }

const char* const kCurveChannels[] = {"master", "red", "green", "blue"};
const char* const kHslBands[] = {"red", "orange", "yellow", "green", "aqua", "blue", "purple", "magenta"};

// A name from `names` or its index.
template <size_t N>
bool parse_index(const char* text, const char* const (&names)[N], int& index) {
    for (size_t k = 0; k < N; ++k)
        if (std::strcmp(text, names[k]) == 0) {
            index = static_cast<int>(k);
            return true;
        }
    return parse_int(text, index) && index >= 0 && index < static_cast<int>(N);
}

// "x0,y0,x1,y1,..." with at least two points.
bool parse_points(const char* text, std::vector<float>& values) {
    std::stringstream in(text);
    std::string item;
    values.clear();
    while (std::getline(in, item, ',')) {
        float v;
        if (!parse_float(item.c_str(), v)) return false;
        values.push_back(v);
    }
    return values.size() >= 4 && values.size() % 2 == 0;
}

}  // namespace

EditFlags::Result EditFlags::parse(int argc, char** argv, int& i, std::string& error) {
    std::string flag = argv[i];
    if (flag.rfind("--", 0) != 0) return Result::not_mine;
    flag = flag.substr(2);
    // --name=value is accepted for one-value flags.
    const char* inline_value = nullptr;
    const size_t eq = flag.find('=');
    if (eq != std::string::npos) {
        inline_value = argv[i] + 2 + eq + 1;
        flag = flag.substr(0, eq);
    }
    // Takes `count` values after the flag into `out`.
    const auto values = [&](int count, std::vector<const char*>& out) {
        out.clear();
        if (inline_value) {
            if (count != 1) {
                error = "--" + flag + " takes " + std::to_string(count) + " values, not '='";
                return false;
            }
            out.push_back(inline_value);
            return true;
        }
        if (i + count >= argc) {
            error = "--" + flag + " needs " + std::to_string(count) + (count == 1 ? " value" : " values");
            return false;
        }
        for (int k = 1; k <= count; ++k) out.push_back(argv[i + k]);
        i += count;
        return true;
    };
    const auto bad = [&](const std::string& what) {
        error = "--" + flag + ": " + what;
        return Result::error;
    };
    std::vector<const char*> v;
    float f[4];
    const auto refused = [&](const std::string& what) {
        bad(what);
        return false;
    };
    // `value` (given as `text`) within the range of `setting`, unless extremes are allowed.
    const auto within = [&](const std::string& key, const nlohmann::json& setting, float value, const char* text) {
        if ((value >= setting["min"] && value <= setting["max"]) || extremes_allowed(argc, argv)) return true;
        return refused(key + " " + text + " is outside " + range_of(setting["min"], setting["max"]) +
                       " (--allow-extreme lets it through)");
    };
    // Parses v[first..last) into f, each within the range of part `name` of the schema.
    const auto numbers = [&](size_t first, size_t last, const std::string& name) {
        for (size_t k = first; k < last; ++k) {
            if (!parse_float(v[k], f[k])) return refused(std::string("not a number: '") + v[k] + "'");
            if (!within(name, schema()["parts"][name], f[k], v[k])) return false;
        }
        return true;
    };

    if (flag == "allow-extreme") return inline_value ? bad("takes no value") : Result::parsed;
    if (const nlohmann::json* setting = setting_of_flag(flag)) {
        const std::string key = (*setting)["key"];
        if ((*setting)["type"] == "int" && (*setting)["front_end_default"] == 0) {  // a switch: present means 1
            if (inline_value) return bad("takes no value");
            values_[key] = 1;
            return Result::parsed;
        }
        if ((*setting)["type"] == "int") {  // on by default: on or off
            if (!values(1, v)) return Result::error;
            const std::string word = v[0];
            if (word != "on" && word != "off") return bad("takes on or off");
            values_[key] = word == "on" ? 1 : 0;
            return Result::parsed;
        }
        if (!values(1, v)) return Result::error;
        if (!parse_float(v[0], f[0])) return bad(std::string("not a number: '") + v[0] + "'");
        if (!within(key, *setting, f[0], v[0])) return Result::error;
        values_[key] = f[0];
        return Result::parsed;
    }
    if (flag == "crop") {
        if (!values(4, v) || !numbers(0, 4, "crop")) return Result::error;
        const float x = f[0], y = f[1], w = f[2], h = f[3];
        edits_.push_back([=](VornalixContext* ctx) { vornalix_set_crop(ctx, x, y, w, h); });
        return Result::parsed;
    }
    if (flag == "curve") {
        if (!values(2, v)) return Result::error;
        int channel;
        if (!parse_index(v[0], kCurveChannels, channel)) return bad(std::string("unknown channel '") + v[0] + "'");
        std::vector<float> points;
        if (!parse_points(v[1], points)) return bad("points must be x0,y0,x1,y1,... (at least two points)");
        for (const float xy : points)
            if (!within("tone_curve", schema()["parts"]["tone_curve"], xy, v[1])) return Result::error;
        edits_.push_back([channel, points](VornalixContext* ctx) {
            vornalix_set_tone_curve(ctx, channel, points.data(), static_cast<int>(points.size() / 2));
        });
        return Result::parsed;
    }
    if (flag == "hsl") {
        if (!values(4, v)) return Result::error;
        int band;
        if (!parse_index(v[0], kHslBands, band)) return bad(std::string("unknown band '") + v[0] + "'");
        if (!numbers(1, 4, "hsl")) return Result::error;
        const float hue = f[1], sat = f[2], lum = f[3];
        edits_.push_back([=](VornalixContext* ctx) { vornalix_set_hsl(ctx, band, hue, sat, lum); });
        return Result::parsed;
    }
    if (flag == "split-highlights" || flag == "split-shadows") {
        if (!values(2, v) || !numbers(0, 1, "split_toning_hue") || !numbers(1, 2, "split_toning_saturation"))
            return Result::error;
        const int at = flag == "split-highlights" ? 0 : 2;
        split_[at] = f[0];
        split_[at + 1] = f[1];
        split_given_ = true;
        return Result::parsed;
    }
    if (flag == "split-balance") {
        if (!values(1, v) || !numbers(0, 1, "split_toning_balance")) return Result::error;
        split_[4] = f[0];
        split_given_ = true;
        return Result::parsed;
    }
    return Result::not_mine;
}

int EditFlags::apply(VornalixContext* ctx, std::string& error) const {
    if (!values_.empty() && merge_settings(ctx, values_, error) != 0) return kFailure;
    for (const auto& edit : edits_) edit(ctx);
    if (split_given_) {
        vornalix_set_split_toning(ctx, 0, split_[0], split_[1], split_[4]);
        vornalix_set_split_toning(ctx, 1, split_[2], split_[3], 0.0f);
    }
    return 0;
}

void EditFlags::print_help(std::FILE* out) {
    std::fprintf(out, "edit settings (applied after loading; each defaults to its neutral value):\n");
    for (const nlohmann::json& setting : settings_schema()) {
        const bool is_switch = setting["type"] == "int";
        const bool on_by_default = is_switch && setting["front_end_default"] != 0;
        const std::string name =
            "--" + setting["flag"].get<std::string>() + (on_by_default ? " on|off" : is_switch ? "" : " N");
        std::string help = setting["unit"];
        if (on_by_default) help += " (default on)";
        if (!is_switch) {
            help += (help.empty() ? "" : ", ") + range_of(setting["min"], setting["max"]);
            if (setting["front_end_default"] != 0) help += " (default " + shown(setting["front_end_default"]) + ")";
        }
        std::fprintf(out, "  %-28s %s\n", name.c_str(), help.c_str());
    }
    const auto part = [](const char* name) {
        const nlohmann::json& range = schema()["parts"][name];
        return range_of(range["min"], range["max"]);
    };
    const std::string split = "hue in degrees " + part("split_toning_hue") + ", saturation " +
                              part("split_toning_saturation");
    const std::pair<std::string, std::string> lines[] = {
        {"--curve CHANNEL POINTS", "tone curve; CHANNEL master|red|green|blue (or 0..3),"},
        {"", "POINTS x0,y0,x1,y1,... each " + part("tone_curve") + ", at least two points"},
        {"--hsl BAND HUE SAT LUM", "BAND red|orange|yellow|green|aqua|blue|purple|magenta (or 0..7);"},
        {"", "hue shift, saturation and luminance each " + part("hsl")},
        {"--split-highlights HUE SAT", "split toning of the highlights: " + split},
        {"--split-shadows HUE SAT", "split toning of the shadows: " + split},
        {"--split-balance N", "split-toning balance, " + part("split_toning_balance")},
        {"--crop X Y W H", "crop rectangle as fractions " + part("crop") + " of width and height (W or H 0: no crop)"},
        {"--allow-extreme", "let values outside the ranges above through"},
    };
    for (const auto& [flag, help] : lines) std::fprintf(out, "  %-28s %s\n", flag.c_str(), help.c_str());
}

}  // namespace cli
