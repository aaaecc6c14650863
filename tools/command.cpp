#include "command.h"

#include "files.h"
#include "look.h"

namespace cli {

std::string common_help(bool writes, bool folders) {
    std::string text = "common options:\n";
    if (writes) text += "  --overwrite                  replace existing outputs (inputs are never written over)\n";
    if (folders) text += "  --recursive                  folders given as inputs include their sub-folders\n";
    return text +
           "  -q, --quiet                  errors only on stderr\n"
           "  -v, --verbose                also name each file on stderr as it is done\n"
           "  --version                    print the version and end\n"
           "  -h, --help                   this text\n";
}

namespace {

// Takes the options every command shares; true when `arg` was one.
bool common_option(const ArgumentRules& rules, const std::string& arg, bool& recursive) {
    if (arg == "-q" || arg == "--quiet" || arg == "-v" || arg == "--verbose")
        verbosity = arg == "-q" || arg == "--quiet" ? Verbosity::quiet : Verbosity::verbose;
    else if (rules.overwrite && arg == "--overwrite")
        *rules.overwrite = true;
    else if (rules.folders && arg == "--recursive")
        recursive = true;
    else
        return false;
    return true;
}

}  // namespace

std::optional<int> read_arguments(const ArgumentRules& rules, int argc, char** argv, const OwnOptions& own,
                                  std::vector<std::string>& inputs) {
    bool recursive = false;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            rules.print_help(stdout);
            return 0;
        }
        if (arg == "--version") {
            std::printf("vornalix %s\n", vornalix_version());
            return 0;
        }
        if (common_option(rules, arg, recursive)) continue;
        if (rules.output && (arg == "-o" || arg == "--output")) {
            if (++i >= argc) return usage_error(rules.command, arg + " needs " + rules.output_kind);
            *rules.output = argv[i];
            continue;
        }
        std::string error;
        OptionResult taken = own ? own(arg, i, error) : OptionResult::not_mine;
        if (taken == OptionResult::not_mine && rules.look) taken = rules.look->parse(argc, argv, i, error);
        if (taken == OptionResult::error) return usage_error(rules.command, error);
        if (taken == OptionResult::parsed) continue;
        if (rules.unknown_options_are_errors && arg.size() > 1 && arg[0] == '-')
            return usage_error(rules.command, "unknown option " + arg);
        if (rules.one_input && !inputs.empty())
            return usage_error(rules.command, std::string("more than one ") + rules.one_input);
        inputs.push_back(arg);
    }
    if (rules.folders) inputs = expand_folders(inputs, recursive);
    if (inputs.empty() && rules.no_input) return usage_error(rules.command, rules.no_input);
    if (rules.output && rules.output->empty() && rules.no_output) return usage_error(rules.command, rules.no_output);
    return std::nullopt;
}

int check_output(const std::string& output, const std::vector<std::string>& inputs, bool overwrite) {
    const std::string problem = output_problem(output, inputs, overwrite);
    return problem.empty() ? 0 : file_failure(problem);
}

int open_photo(const Context& ctx, const std::string& input, int scale, const Look* look) {
    if (const std::string problem = input_problem(input); !problem.empty()) return file_failure(problem);
    if (!ctx) {
        std::fprintf(stderr, "vornalix: could not create a context\n");
        return kFailure;
    }
    if (vornalix_load_arw(ctx.get(), input.c_str(), scale) != 0)
        return library_failure(ctx.get(), "cannot load " + input);
    std::string error;
    if (look && look->apply(ctx.get(), error) != 0) {
        std::fprintf(stderr, "vornalix: %s: %s\n", input.c_str(), error.c_str());
        return kFailure;
    }
    return 0;
}

}  // namespace cli
