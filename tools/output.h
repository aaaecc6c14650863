#pragma once
// Writes the rendered picture of a context to an image file.

#include "command.h"
#include "vornalix.h"

#include <string>

namespace cli {

struct OutputOptions {
    int jpeg_quality = 92;  // 1..100
    int png_bits = 8;       // 8 or 16
    bool keep_exif = true;   // carry the source file's EXIF block (off with --strip-exif)
    int profile = VORNALIX_PROFILE_SRGB;  // colour space of the file (--profile)
    int size_limit = 0;  // long side written (--size): 0 the full size, -1 the preview bounds
};

// The --profile option's help text, and its parser for the commands' own
// options: srgb, adobergb, p3 or prophoto; not_mine for any other argument.
extern const char* const kProfileUsage;
extern const char* const kProfileHelp;
OptionResult profile_option(const std::string& arg, int& i, int argc, char** argv, OutputOptions& options,
                            std::string& error);

// The --size option: N (a long side of N pixels) or preview (the library's
// default bounds); not_mine for any other argument.
extern const char* const kSizeUsage;
extern const char* const kSizeHelp;
OptionResult size_option(const std::string& arg, int& i, int argc, char** argv, OutputOptions& options,
                         std::string& error);

// Renders the context's image with its current settings and writes it to
// `path` through the library's exports, the format following the extension
// (.jpg/.jpeg, .png, .tif/.tiff: 16-bit, .webp, .bmp). Returns 0, or prints the failure
// and returns non-zero.
int write_rendering(VornalixContext* ctx, const std::string& path, const OutputOptions& options);

// The same without printing: non-zero with the reason in `error`.
int export_rendering(VornalixContext* ctx, const std::string& path, const OutputOptions& options, std::string& error);

}  // namespace cli
