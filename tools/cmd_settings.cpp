// vornalix settings INPUT [--auto] [--settings FILE] [edit settings] > look.json

#include "cli.h"
#include "look.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

void print_help(std::FILE* out) {
    std::fprintf(out,
                 "usage: vornalix settings INPUT [--scale N] [look options] > look.json\n\n"
                 "Loads INPUT, lays the look over it and prints the whole edit as a settings\n"
                 "document, for 'vornalix develop --settings' and 'vornalix batch --settings'.\n\n"
                 "options:\n  %-28s %s\n  %-28s %s\n\n",
                 "--scale N", "RAW decoding size for the analyses, 1..4 (default 1)", "-h, --help", "this text");
    cli::Look::print_help(out);
}

}  // namespace

int cmd_settings(int argc, char** argv) {
    const std::string name = "settings";
    std::string input;
    int scale = 1;
    cli::Look look;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            print_help(stdout);
            return 0;
        }
        if (arg == "--scale") {
            if (++i >= argc || !cli::parse_int(argv[i], scale) || scale < 1 || scale > 4)
                return cli::usage_error(name, "--scale needs an integer 1..4");
            continue;
        }
        std::string error;
        const auto parsed = look.parse(argc, argv, i, error);
        if (parsed == cli::Look::Result::error) return cli::usage_error(name, error);
        if (parsed == cli::Look::Result::parsed) continue;
        if (arg.size() > 1 && arg[0] == '-') return cli::usage_error(name, "unknown option " + arg);
        if (!input.empty()) return cli::usage_error(name, "more than one input file");
        input = arg;
    }
    if (input.empty()) return cli::usage_error(name, "no input file");

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
    const int size = vornalix_settings_to_json(ctx.get(), nullptr, 0);
    if (size < 0) return cli::library_failure(ctx.get(), "cannot write the settings");
    std::vector<char> text(static_cast<size_t>(size));
    if (vornalix_settings_to_json(ctx.get(), text.data(), size) != size)
        return cli::library_failure(ctx.get(), "cannot write the settings");
    std::fputs(text.data(), stdout);
    return std::fflush(stdout) == 0 ? 0 : cli::kFailure;
}
