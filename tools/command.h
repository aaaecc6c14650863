#pragma once
// How every subcommand starts: reading its arguments and opening the
// photograph it works on.

#include "cli.h"
#include "edit_flags.h"
#include "vornalix.h"

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace cli {

class Look;

// What a subcommand accepts besides its own options.
struct ArgumentRules {
    std::string command;                        // named in usage errors
    void (*print_help)(std::FILE*) = nullptr;   // -h / --help prints this on stdout and ends the command
    std::string* output = nullptr;              // when set, -o / --output takes the next argument into it
    const char* output_kind = "a file name";    // what "-o needs" when nothing follows it
    Look* look = nullptr;                       // when set, the look options are taken into it
    const char* one_input = nullptr;            // when set, a second input is "more than one <one_input>"
    bool unknown_options_are_errors = true;     // false: anything not taken is an input file
    const char* no_input = nullptr;             // the usage error when no input is given
    const char* no_output = nullptr;            // the usage error when -o is missing
    bool* overwrite = nullptr;                  // when set, --overwrite sets it
    bool folders = false;                       // folders stand for their image files (--recursive)
};

using OptionResult = EditFlags::Result;

// One of the command's own options: when `arg` (argv[i]) is one, takes it and
// its values, leaving i on the last one used, and returns parsed; error with a
// message for a wrong value; not_mine for anything else.
using OwnOptions = std::function<OptionResult(const std::string& arg, int& i, std::string& error)>;

// For OwnOptions: keeps `message` as the error and returns error.
inline OptionResult option_error(std::string& error, const std::string& message) {
    error = message;
    return OptionResult::error;
}

// The options every command takes, for its --help; with `writes`
// --overwrite, with `folders` --recursive.
std::string common_help(bool writes, bool folders);

// Walks the arguments, trying each as -h/--help, --version, -q, -v,
// --overwrite, --recursive, as -o/--output, as one of
// `own`, as a look option and as an input file, in that order, then checks
// that the inputs and the output are there. Returns the exit status when the
// command ends here (0 after the help, kUsageError after a usage error),
// nothing when it goes on with `inputs`.
std::optional<int> read_arguments(const ArgumentRules& rules, int argc, char** argv, const OwnOptions& own,
                                  std::vector<std::string>& inputs);

// Prints why `output` may not be written (see output_problem) and returns
// kFailure; 0 when it may.
int check_output(const std::string& output, const std::vector<std::string>& inputs, bool overwrite);

// Checks that `input` can be read, loads it into the command's context at RAW
// decoding size `scale`, then lays `look` over it when given. Returns 0, or
// prints why not and returns kFailure.
int open_photo(const Context& ctx, const std::string& input, int scale, const Look* look = nullptr);

}  // namespace cli
