#pragma once
// The standard-format route of loading and the test that chooses it.

#include "image/image_buffer.h"

#include <string>

namespace vornalix {

// Long-side bound of an image loaded through the standard route.
constexpr int kStandardMaxSide = 4096;

// True when the path, lower-cased (ASCII), ends in .jpg, .jpeg, .png, .tif,
// .tiff, .bmp or .webp. Every other path is taken as a RAW file.
bool is_standard_image(const std::string& path);

// Reads a JPEG, PNG, TIFF, BMP or WebP file (chosen by its content) as 8-bit
// RGB, bounds its long side to kStandardMaxSide and widens it to 16-bit
// RGBA. False with a one-line `error` when the file cannot be read or its
// header claims too many pixels.
bool load_standard_image(const std::string& path, ImageBuffer& out, std::string& error);

}  // namespace vornalix
