// vornalix develop INPUT -o OUTPUT [--size N|preview] [--scale N] [--quality Q] [--profile P] [--bits B] [--strip-exif] [--auto...]
//                  [edits...]

#include "cli.h"
#include "command.h"
#include "look.h"
#include "output.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

void print_help(std::FILE* out) {
    std::fprintf(out,
                 "usage: vornalix develop INPUT -o OUTPUT [options] [edit settings]\n\n"
                 "Loads INPUT (a camera RAW file, or JPEG/PNG/TIFF/BMP/WebP), applies the edit\n"
                 "settings, renders and writes OUTPUT: .jpg/.jpeg (8-bit), .png (8- or 16-bit),\n"
                 ".tif/.tiff (16-bit), .webp (lossless) or .bmp, all but BMP with the source's\n"
                 "EXIF. An existing OUTPUT is kept unless --overwrite is given; INPUT itself is\n"
                 "never written over.\n\n"
                 "options:\n"
                 "  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n\n%s\n",
                 "-o, --output OUTPUT", "the file to write (required)",
                 cli::kSizeUsage, cli::kSizeHelp,
                 "--scale N", "RAW decoding size, 1..4: 1 full, 2-3 half, 4 quarter (default 1)",
                 "--quality Q", "JPEG quality, 1..100 (default 92)",
                 cli::kProfileUsage, cli::kProfileHelp,
                 "--bits B", "PNG bits per sample, 8 or 16 (default 8)",
                 "--strip-exif", "leave out the camera metadata of INPUT",
                 "--keep-exif", "JPEG: carry it (RAW files too; the default)", cli::common_help(true, false).c_str());
    cli::Look::print_help(out);
}

}  // namespace

int cmd_develop(int argc, char** argv) {
    const std::string name = "develop";
    std::vector<std::string> inputs;
    std::string output;
    int scale = 1;
    cli::OutputOptions out_options;
    cli::Look look;
    const auto own = [&](const std::string& arg, int& i, std::string& error) {
        const auto profile = cli::profile_option(arg, i, argc, argv, out_options, error);
        if (profile != cli::OptionResult::not_mine) return profile;
        const auto size = cli::size_option(arg, i, argc, argv, out_options, error);
        if (size != cli::OptionResult::not_mine) return size;
        if (arg == "--keep-exif" || arg == "--strip-exif") {
            out_options.keep_exif = arg == "--keep-exif";
            return cli::OptionResult::parsed;
        }
        if (arg == "--scale" || arg == "--quality" || arg == "--bits") {
            int value;
            if (++i >= argc || !cli::parse_int(argv[i], value))
                return cli::option_error(error, arg + " needs an integer");
            if (arg == "--scale" && (value < 1 || value > 4)) return cli::option_error(error, "--scale must be 1..4");
            if (arg == "--quality" && (value < 1 || value > 100))
                return cli::option_error(error, "--quality must be 1..100");
            if (arg == "--bits" && value != 8 && value != 16) return cli::option_error(error, "--bits must be 8 or 16");
            (arg == "--scale" ? scale : arg == "--quality" ? out_options.jpeg_quality : out_options.png_bits) = value;
            return cli::OptionResult::parsed;
        }
        return cli::OptionResult::not_mine;
    };
    bool overwrite = false;
    cli::ArgumentRules rules{name, print_help};
    rules.output = &output;
    rules.overwrite = &overwrite;
    rules.look = &look;
    rules.one_input = "input file";
    rules.no_input = "no input file";
    rules.no_output = "no output file (-o OUTPUT)";
    if (const auto status = cli::read_arguments(rules, argc, argv, own, inputs)) return *status;

    if (const int status = cli::check_output(output, inputs, overwrite)) return status;
    cli::Context ctx;
    vornalix_set_size_limit(ctx.get(), out_options.size_limit);
    if (const int status = cli::open_photo(ctx, inputs[0], scale, &look)) return status;
    return cli::write_rendering(ctx.get(), output, out_options);
}
