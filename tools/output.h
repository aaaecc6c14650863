#pragma once
// Writes the rendered picture of a context to an image file.

#include "vornalix.h"

#include <string>

namespace cli {

struct OutputOptions {
    int jpeg_quality = 92;  // 1..100
    int png_bits = 8;       // 8 or 16
    bool keep_exif = true;  // JPEG: carry the source file's EXIF block
};

// Renders the context's image with its current settings and writes it to
// `path` through the library's exports, the format following the extension
// (.jpg/.jpeg, .png, .tif/.tiff: 16-bit). Returns 0, or prints the failure
// and returns non-zero.
int write_rendering(VornalixContext* ctx, const std::string& path, const OutputOptions& options);

// The same without printing: non-zero with the reason in `error`.
int export_rendering(VornalixContext* ctx, const std::string& path, const OutputOptions& options, std::string& error);

}  // namespace cli
