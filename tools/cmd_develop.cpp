// vornalix develop INPUT -o OUTPUT [--scale N] [--quality Q] [--bits B] [--strip-exif] [--auto...] [edits...]

#include "cli.h"
#include "look.h"
#include "output.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void print_help(std::FILE* out) {
    std::fprintf(out,
                 "usage: vornalix develop INPUT -o OUTPUT [options] [edit settings]\n\n"
                 "Loads INPUT (a camera RAW file, or JPEG/PNG/TIFF/BMP/WebP), applies the edit\n"
                 "settings, renders and writes OUTPUT: .jpg/.jpeg (8-bit, with the source's EXIF),\n"
                 ".png (8- or 16-bit) or .tif/.tiff (16-bit).\n\n"
                 "options:\n"
                 "  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n\n",
                 "-o, --output OUTPUT", "the file to write (required)",
                 "--scale N", "RAW decoding size, 1..4: 1 full, 2-3 half, 4 quarter (default 1)",
                 "--quality Q", "JPEG quality, 1..100 (default 92)",
                 "--bits B", "PNG bits per sample, 8 or 16 (default 8)",
                 "--strip-exif", "JPEG: leave the source file's EXIF block out",
                 "-h, --help", "this text");
    cli::Look::print_help(out);
}

}  // namespace

int cmd_develop(int argc, char** argv) {
    const std::string name = "develop";
    std::string input, output;
    int scale = 1;
    cli::OutputOptions out_options;
    cli::Look look;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            print_help(stdout);
            return 0;
        }
        if (arg == "-o" || arg == "--output") {
            if (++i >= argc) return cli::usage_error(name, arg + " needs a file name");
            output = argv[i];
            continue;
        }
        if (arg == "--strip-exif") {
            out_options.keep_exif = false;
            continue;
        }
        if (arg == "--scale" || arg == "--quality" || arg == "--bits") {
            int value;
            if (++i >= argc || !cli::parse_int(argv[i], value)) return cli::usage_error(name, arg + " needs an integer");
            if (arg == "--scale" && (value < 1 || value > 4)) return cli::usage_error(name, "--scale must be 1..4");
            if (arg == "--quality" && (value < 1 || value > 100))
                return cli::usage_error(name, "--quality must be 1..100");
            if (arg == "--bits" && value != 8 && value != 16) return cli::usage_error(name, "--bits must be 8 or 16");
            (arg == "--scale" ? scale : arg == "--quality" ? out_options.jpeg_quality : out_options.png_bits) = value;
            continue;
        }
        std::string error;
        switch (look.parse(argc, argv, i, error)) {
            case cli::Look::Result::parsed:
                continue;
            case cli::Look::Result::error:
                return cli::usage_error(name, error);
            case cli::Look::Result::not_mine:
                break;
        }
        if (arg.size() > 1 && arg[0] == '-') return cli::usage_error(name, "unknown option " + arg);
        if (!input.empty()) return cli::usage_error(name, "more than one input file");
        input = arg;
    }
    if (input.empty()) return cli::usage_error(name, "no input file");
    if (output.empty()) return cli::usage_error(name, "no output file (-o OUTPUT)");

    cli::Context ctx;
    if (!ctx) {
        std::fprintf(stderr, "vornalix: could not create a context\n");
        return cli::kFailure;
    }
    if (vornalix_load_arw(ctx.get(), input.c_str(), scale) != 0)
        return cli::library_failure(ctx.get(), "cannot load " + input);
    std::string error;
    if (look.apply(ctx.get(), error) != 0) {
        std::fprintf(stderr, "vornalix: %s: %s\n", input.c_str(), error.c_str());
        return cli::kFailure;
    }
    return cli::write_rendering(ctx.get(), output, out_options);
}
