#include "cli.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace cli {

Verbosity verbosity = Verbosity::normal;

bool parse_float(const char* text, float& value) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    const float v = std::strtof(text, &end);
    if (*end != '\0' || errno == ERANGE || !std::isfinite(v)) return false;
    value = v;
    return true;
}

bool parse_int(const char* text, int& value) {
    if (!text || !*text) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (*end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
    value = static_cast<int>(v);
    return true;
}

int library_failure(VornalixContext* ctx, const std::string& what) {
    std::fprintf(stderr, "vornalix: %s: %s\n", what.c_str(), ctx ? vornalix_last_error(ctx) : "no context");
    return kFailure;
}

int file_failure(const std::string& problem) {
    std::fprintf(stderr, "vornalix: %s\n", problem.c_str());
    return kFailure;
}

int usage_error(const std::string& command, const std::string& message) {
    std::fprintf(stderr, "vornalix %s: %s\n(see 'vornalix %s --help')\n", command.c_str(), message.c_str(),
                 command.c_str());
    return kUsageError;
}

}  // namespace cli
