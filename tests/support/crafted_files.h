#pragma once
// Small files that OpenCV's decoders would accept but the library must not
// hand them: formats outside the five it reads, and headers that claim a
// huge frame.

#include <string>

namespace vornalix::testing {

// An 8-bit run-length BMP of about 1 KB whose single end-of-bitmap code
// makes OpenCV's reader produce a full width x height frame (15000 x 14000
// is about 630 MB once decoded).
bool write_rle_bmp(const std::string& path, int width, int height);

// A small Portable Float Map (a format OpenCV reads by content) stored
// under `path`, whatever its extension.
bool write_pfm(const std::string& path);

}  // namespace vornalix::testing
