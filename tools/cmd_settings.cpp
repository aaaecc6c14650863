// vornalix settings INPUT [--auto] [--settings FILE] [edit settings] > look.json

#include "cli.h"
#include "command.h"
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
                 "options:\n  %-28s %s\n\n%s\n",
                 "--scale N", "RAW decoding size for the analyses, 1..4 (default 1)", cli::common_help(false, false).c_str());
    cli::Look::print_help(out);
}

}  // namespace

int cmd_settings(int argc, char** argv) {
    const std::string name = "settings";
    std::vector<std::string> inputs;
    int scale = 1;
    cli::Look look;
    const auto own = [&](const std::string& arg, int& i, std::string& error) {
        if (arg != "--scale") return cli::OptionResult::not_mine;
        if (++i >= argc || !cli::parse_int(argv[i], scale) || scale < 1 || scale > 4)
            return cli::option_error(error, "--scale needs an integer 1..4");
        return cli::OptionResult::parsed;
    };
    cli::ArgumentRules rules{name, print_help};
    rules.look = &look;
    rules.one_input = "input file";
    rules.no_input = "no input file";
    if (const auto status = cli::read_arguments(rules, argc, argv, own, inputs)) return *status;

    cli::Context ctx;
    if (const int status = cli::open_photo(ctx, inputs[0], scale, &look)) return status;
    const int size = vornalix_settings_to_json(ctx.get(), nullptr, 0);
    if (size < 0) return cli::library_failure(ctx.get(), "cannot write the settings");
    std::vector<char> text(static_cast<size_t>(size));
    if (vornalix_settings_to_json(ctx.get(), text.data(), size) != size)
        return cli::library_failure(ctx.get(), "cannot write the settings");
    std::fputs(text.data(), stdout);
    return std::fflush(stdout) == 0 ? 0 : cli::kFailure;
}
