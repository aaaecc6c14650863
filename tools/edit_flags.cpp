#include "edit_flags.h"

#include "cli.h"

#include <cstring>
#include <sstream>

namespace cli {

namespace {

struct FloatFlag {
    const char* name;
    const char* help;  // unit and range
    void (*set)(VornalixContext*, float);
};

const FloatFlag kFloatFlags[] = {
    {"exposure", "EV (stops), -5..5, 0 = unchanged", vornalix_set_exposure},
    {"brightness", "-100..100", vornalix_set_brightness},
    {"contrast", "-100..100", vornalix_set_contrast},
    {"highlights", "-100..100", vornalix_set_highlights},
    {"shadows", "-100..100", vornalix_set_shadows},
    {"whites", "-100..100", vornalix_set_whites},
    {"blacks", "-100..100", vornalix_set_blacks},
    {"temperature", "kelvin, 2000..12000 (default 6500 here: as shot; the library's is 5500)", vornalix_set_temperature},
    {"tint", "-150..150 (green to magenta)", vornalix_set_tint},
    {"saturation", "-100..100", vornalix_set_saturation},
    {"vibrance", "-100..100", vornalix_set_vibrance},
    {"sharpening", "amount, 0..150", vornalix_set_sharpening_amount},
    {"sharpening-radius", "pixels, 0.5..3 (default 1)", vornalix_set_sharpening_radius},
    {"sharpening-threshold", "masking, 0..100", vornalix_set_sharpening_threshold},
    {"nr-luminance", "luminance noise reduction, 0..100", vornalix_set_nr_luminance},
    {"nr-color", "colour noise reduction, 0..100", vornalix_set_nr_color},
    {"clarity", "-100..100", vornalix_set_clarity},
    {"texture", "-100..100", vornalix_set_texture},
    {"dehaze", "-100..100", vornalix_set_dehaze},
    {"distortion", "lens distortion correction, -100..100", vornalix_set_distortion},
    {"ca-correction", "chromatic aberration correction, -100..100", vornalix_set_ca_correction},
    {"lens-vignette", "lens vignetting correction, -100..100", vornalix_set_lens_vignette},
    {"defringe", "0..100", vornalix_set_defringe},
    {"rotation", "degrees, -45..45", vornalix_set_rotation},
    {"perspective-h", "horizontal perspective, -100..100", vornalix_set_perspective_h},
    {"perspective-v", "vertical perspective, -100..100", vornalix_set_perspective_v},
    {"vignette", "post-crop vignette amount, -100..100 (positive darkens the edges)", vornalix_set_vignette_amount},
    {"vignette-midpoint", "0..100 (default 50)", vornalix_set_vignette_midpoint},
    {"vignette-roundness", "-100..100", vornalix_set_vignette_roundness},
    {"grain", "film grain amount, 0..100", vornalix_set_grain_amount},
    {"grain-size", "0..100 (default 25)", vornalix_set_grain_size},
};

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

    for (const FloatFlag& ff : kFloatFlags) {
        if (flag != ff.name) continue;
        if (!values(1, v)) return Result::error;
        if (!parse_float(v[0], f[0])) return bad(std::string("not a number: '") + v[0] + "'");
        const float value = f[0];
        const auto set = ff.set;
        edits_.push_back([set, value](VornalixContext* ctx) { set(ctx, value); });
        return Result::parsed;
    }
    if (flag == "flip-h" || flag == "flip-v") {
        if (inline_value) return bad("takes no value");
        const auto set = flag == "flip-h" ? vornalix_set_flip_h : vornalix_set_flip_v;
        edits_.push_back([set](VornalixContext* ctx) { set(ctx, 1); });
        return Result::parsed;
    }
    if (flag == "crop") {
        if (!values(4, v)) return Result::error;
        for (int k = 0; k < 4; ++k)
            if (!parse_float(v[k], f[k])) return bad(std::string("not a number: '") + v[k] + "'");
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
        edits_.push_back([channel, points](VornalixContext* ctx) {
            vornalix_set_tone_curve(ctx, channel, points.data(), static_cast<int>(points.size() / 2));
        });
        return Result::parsed;
    }
    if (flag == "hsl") {
        if (!values(4, v)) return Result::error;
        int band;
        if (!parse_index(v[0], kHslBands, band)) return bad(std::string("unknown band '") + v[0] + "'");
        for (int k = 1; k < 4; ++k)
            if (!parse_float(v[k], f[k])) return bad(std::string("not a number: '") + v[k] + "'");
        const float hue = f[1], sat = f[2], lum = f[3];
        edits_.push_back([=](VornalixContext* ctx) { vornalix_set_hsl(ctx, band, hue, sat, lum); });
        return Result::parsed;
    }
    if (flag == "split-highlights" || flag == "split-shadows") {
        if (!values(2, v)) return Result::error;
        for (int k = 0; k < 2; ++k)
            if (!parse_float(v[k], f[k])) return bad(std::string("not a number: '") + v[k] + "'");
        const int at = flag == "split-highlights" ? 0 : 2;
        split_[at] = f[0];
        split_[at + 1] = f[1];
        split_given_ = true;
        return Result::parsed;
    }
    if (flag == "split-balance") {
        if (!values(1, v)) return Result::error;
        if (!parse_float(v[0], split_[4])) return bad(std::string("not a number: '") + v[0] + "'");
        split_given_ = true;
        return Result::parsed;
    }
    return Result::not_mine;
}

void EditFlags::apply(VornalixContext* ctx) const {
    for (const auto& edit : edits_) edit(ctx);
    if (split_given_) {
        vornalix_set_split_toning(ctx, 0, split_[0], split_[1], split_[4]);
        vornalix_set_split_toning(ctx, 1, split_[2], split_[3], 0.0f);
    }
}

void EditFlags::print_help(std::FILE* out) {
    std::fprintf(out, "edit settings (applied after loading; each defaults to its neutral value):\n");
    for (const FloatFlag& ff : kFloatFlags) {
        const std::string name = std::string("--") + ff.name + " N";
        std::fprintf(out, "  %-28s %s\n", name.c_str(), ff.help);
    }
    std::fprintf(out,
                 "  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n"
                 "  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n",
                 "--curve CHANNEL POINTS", "tone curve; CHANNEL master|red|green|blue (or 0..3),",
                 "", "POINTS x0,y0,x1,y1,... each 0..1, at least two points",
                 "--hsl BAND HUE SAT LUM", "BAND red|orange|yellow|green|aqua|blue|purple|magenta (or 0..7);",
                 "", "hue shift, saturation and luminance each -100..100",
                 "--split-highlights HUE SAT", "split toning of the highlights: hue in degrees 0..360, saturation 0..100",
                 "--split-shadows HUE SAT", "split toning of the shadows: hue in degrees 0..360, saturation 0..100",
                 "--split-balance N", "split-toning balance, -100..100",
                 "--crop X Y W H", "crop rectangle as fractions 0..1 of width and height (W or H 0: no crop)");
    std::fprintf(out, "  %-28s %s\n  %-28s %s\n", "--flip-h", "mirror left to right", "--flip-v",
                 "mirror top to bottom");
}

}  // namespace cli
