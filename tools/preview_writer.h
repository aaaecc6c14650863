#pragma once
// Writes the rendered picture of a context to an image file.

#include "vornalix.h"

#include <string>

namespace cli {

// Renders the context's image and writes it to `path`, the format following
// the extension (.png, .jpg/.jpeg, .tif/.tiff); `quality` is the JPEG
// quality 1..100. Returns 0, or prints the failure and returns non-zero.
int write_rendering(VornalixContext* ctx, const std::string& path, int quality);

}  // namespace cli
