#pragma once
// develop's --auto, --auto-straighten and --auto-crop: the library's
// suggestions, applied through the ordinary setters right after loading and
// before any explicit setting, so that a value given on the command line wins.

#include "vornalix.h"

#include <cstdio>
#include <string>

namespace cli {

struct AutoFlags {
    bool enhance = false;
    bool straighten = false;
    bool crop = false;

    // True when `arg` is one of the three flags (and records it).
    bool parse(const std::string& arg);

    // Asks for the requested suggestions and sets them. Returns 0, or prints
    // the library's message and returns kFailure.
    int apply(VornalixContext* ctx) const;

    static void print_help(std::FILE* out);
};

}  // namespace cli
