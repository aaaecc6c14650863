#pragma once
// The standard-format route of loading and the test that chooses it.

#include "image/image_buffer.h"

#include <opencv2/core.hpp>

#include <string>

namespace vornalix {

// Long-side bound of an image loaded through the standard route.
constexpr int kStandardMaxSide = 4096;

// True when the file starts with a JPEG, PNG, BMP or WebP signature, whatever
// its name, or when its name, lower-cased (ASCII), ends in .jpg, .jpeg, .png,
// .tif, .tiff, .bmp or .webp. Every other file is taken as a RAW file.
bool is_standard_image(const std::string& path);

// A JPEG, PNG, TIFF, BMP or WebP file (chosen by its content) in sRGB, as
// color_mgmt::to_srgb gives it: 8-bit R, G, B when untagged, 16-bit when its
// profile converted it. Throws vornalix::Failure with the load's message
// when the file cannot be read or its header claims too many pixels. Every
// reader of standard files (load, thumbnail, hash) starts here, so all see
// the same pixels.
cv::Mat read_standard_srgb(const std::string& path);

// The file as read_standard_srgb gives it, its long side bounded to
// max_side, as 16-bit RGBA; `full_size` receives its size before bounding.
ImageBuffer load_standard_image(const std::string& path, int max_side, cv::Size& full_size);

}  // namespace vornalix
