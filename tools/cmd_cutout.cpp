// vornalix cutout INPUT -o OUTPUT.png [--at X,Y] [--scale N]

#include "cli.h"

#include <cstdio>
#include <string>

namespace {

void print_help(std::FILE* out) {
    std::fprintf(out,
                 "usage: vornalix cutout INPUT -o OUTPUT.png [--at X,Y] [--scale N]\n\n"
                 "Loads INPUT, separates the subject around a point and writes the picture as\n"
                 "a PNG whose alpha is the subject mask (opaque subject, transparent background).\n\n"
                 "options:\n"
                 "  %-28s %s\n  %-28s %s\n  %-28s %s\n  %-28s %s\n",
                 "-o, --output OUTPUT.png", "the file to write (required)",
                 "--at X,Y", "the subject, as fractions 0..1 of width and height (default: the centre)",
                 "--scale N", "RAW decoding size, 1..4 (default 1)", "-h, --help", "this text");
}

// "X,Y", both finite numbers.
bool parse_point(const std::string& text, float& x, float& y) {
    const size_t comma = text.find(',');
    if (comma == std::string::npos) return false;
    return cli::parse_float(text.substr(0, comma).c_str(), x) && cli::parse_float(text.substr(comma + 1).c_str(), y);
}

}  // namespace

int cmd_cutout(int argc, char** argv) {
    const std::string name = "cutout";
    std::string input, output;
    float x = -1.0f, y = -1.0f;  // negative: the centre
    int scale = 1;
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
        if (arg == "--at") {
            if (++i >= argc || !parse_point(argv[i], x, y)) return cli::usage_error(name, "--at needs X,Y");
            continue;
        }
        if (arg == "--scale") {
            if (++i >= argc || !cli::parse_int(argv[i], scale) || scale < 1 || scale > 4)
                return cli::usage_error(name, "--scale must be 1..4");
            continue;
        }
        if (arg.size() > 1 && arg[0] == '-') return cli::usage_error(name, "unknown option " + arg);
        if (!input.empty()) return cli::usage_error(name, "more than one input file");
        input = arg;
    }
    if (input.empty()) return cli::usage_error(name, "no input file");
    if (output.empty()) return cli::usage_error(name, "no output file (-o OUTPUT.png)");

    cli::Context ctx;
    if (!ctx) {
        std::fprintf(stderr, "vornalix: could not create a context\n");
        return cli::kFailure;
    }
    if (vornalix_load_arw(ctx.get(), input.c_str(), scale) != 0)
        return cli::library_failure(ctx.get(), "cannot load " + input);
    if (vornalix_segment_subject(ctx.get(), x, y) != 0)
        return cli::library_failure(ctx.get(), "cannot separate the subject");
    if (vornalix_export_subject_png(ctx.get(), output.c_str()) != 0)
        return cli::library_failure(ctx.get(), "cannot write " + output);
    return 0;
}
