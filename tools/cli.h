#pragma once
// Small helpers shared by the subcommands: number parsing, failure reports
// and exit codes.

#include "vornalix.h"

#include <string>

namespace cli {

constexpr int kFailure = 1;     // the library or a file operation failed
constexpr int kUsageError = 2;  // the command line itself is wrong

// How much a command says on stderr: errors only (-q), progress and
// summaries, or also each file worked on (-v).
enum class Verbosity { quiet, normal, verbose };
extern Verbosity verbosity;

// Strict parses: the whole text must be a finite number / an integer.
bool parse_float(const char* text, float& value);
bool parse_int(const char* text, int& value);

// Prints "vornalix: WHAT: <last error>" on stderr and returns kFailure.
int library_failure(VornalixContext* ctx, const std::string& what);

// Prints "vornalix: PROBLEM" on stderr and returns kFailure.
int file_failure(const std::string& problem);

// Prints "vornalix: MESSAGE" and a hint to --help, returns kUsageError.
int usage_error(const std::string& command, const std::string& message);

// Owns a context for the duration of a command.
class Context {
public:
    Context() : ctx_(vornalix_create_context()) {}
    ~Context() { vornalix_destroy_context(ctx_); }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;
    VornalixContext* get() const { return ctx_; }
    explicit operator bool() const { return ctx_ != nullptr; }

private:
    VornalixContext* ctx_;
};

}  // namespace cli
