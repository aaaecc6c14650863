// vornalix cutout INPUT -o OUTPUT.png|OUTPUT.webp [--at X,Y] [--scale N] [edits...]

#include "cli.h"
#include "command.h"
#include "look.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

void print_help(std::FILE* out) {
    std::fprintf(out,
                 "usage: vornalix cutout INPUT -o OUTPUT.png [--at X,Y] [--scale N] [edit settings]\n\n"
                 "Loads INPUT, separates the subject around a point, renders the picture with the\n"
                 "edit settings and writes it as a PNG or WebP whose alpha is the subject mask\n"
                 "(opaque subject, transparent background), turned, mirrored and cropped with the\n"
                 "picture; other formats, having no alpha, are refused.\n\n"
                 "options:\n"
                 "  %-28s %s\n  %-28s %s\n  %-28s %s\n\n%s",
                 "-o, --output OUTPUT", "the .png or .webp file to write (required)",
                 "--at X,Y", "the subject, as fractions 0..1 of width and height (default: the centre)",
                 "--scale N", "RAW decoding size, 1..4 (default 1)", cli::common_help(true, false).c_str());
    cli::Look::print_help(out);
}

// "X,Y", both numbers in 0..1.
bool parse_point(const std::string& text, float& x, float& y) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos) return false;
    return cli::parse_float(text.substr(0, comma).c_str(), x) &&
           cli::parse_float(text.substr(comma + 1).c_str(), y) && x >= 0 && x <= 1 && y >= 0 && y <= 1;
}

// The formats that keep the mask as alpha.
bool has_alpha_format(const std::string& path) {
    const std::string ext = std::filesystem::path(path).extension().string();
    return ext == ".png" || ext == ".PNG" || ext == ".webp" || ext == ".WEBP";
}

}  // namespace

int cmd_cutout(int argc, char** argv) {
    const std::string name = "cutout";
    std::vector<std::string> inputs;
    std::string output;
    float x = -1.0f, y = -1.0f;  // negative: the centre
    int scale = 1;
    cli::Look look;
    const auto own = [&](const std::string& arg, int& i, std::string& error) {
        if (arg == "--at") {
            if (++i >= argc || !parse_point(argv[i], x, y)) return cli::option_error(error, "--at needs X,Y, each in 0..1");
            return cli::OptionResult::parsed;
        }
        if (arg == "--scale") {
            if (++i >= argc || !cli::parse_int(argv[i], scale) || scale < 1 || scale > 4)
                return cli::option_error(error, "--scale must be 1..4");
            return cli::OptionResult::parsed;
        }
        return cli::OptionResult::not_mine;
    };
    cli::ArgumentRules rules{name, print_help};
    rules.output = &output;
    rules.look = &look;
    rules.one_input = "input file";
    rules.no_input = "no input file";
    rules.no_output = "no output file (-o OUTPUT.png)";
    bool overwrite = false;
    rules.overwrite = &overwrite;
    if (const auto status = cli::read_arguments(rules, argc, argv, own, inputs)) return *status;
    const std::string& input = inputs[0];
    if (!has_alpha_format(output))
        return cli::usage_error(name, output + ": a cut-out is written as .png or .webp (formats with alpha)");
    if (const int status = cli::check_output(output, inputs, overwrite)) return status;

    cli::Context ctx;
    if (const int status = cli::open_photo(ctx, input, scale, &look)) return status;
    if (vornalix_segment_subject(ctx.get(), x, y) != 0)
        return cli::library_failure(ctx.get(), "cannot separate the subject");
    if (vornalix_export_subject_png(ctx.get(), output.c_str()) != 0)
        return cli::library_failure(ctx.get(), "cannot write " + output);
    return 0;
}
