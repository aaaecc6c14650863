#include "command.h"

#include "look.h"

namespace cli {

std::optional<int> read_arguments(const ArgumentRules& rules, int argc, char** argv, const OwnOptions& own,
                                  std::vector<std::string>& inputs) {
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            rules.print_help(stdout);
            return 0;
        }
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
    if (inputs.empty() && rules.no_input) return usage_error(rules.command, rules.no_input);
    if (rules.output && rules.output->empty() && rules.no_output) return usage_error(rules.command, rules.no_output);
    return std::nullopt;
}

int open_photo(const Context& ctx, const std::string& input, int scale, const Look* look) {
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
