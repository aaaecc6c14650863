#pragma once
// Writing a rendered image to a file. The path's extension decides the
// format; files are replaced atomically (see file_io.h).

#include "image/image_buffer.h"

#include <string>
#include <vector>

namespace vornalix::output {

// True for the formats OpenCV can write with 8 bits per sample only, where
// 16-bit data would be saturated to white: JPEG, BMP, WebP, Sun raster.
bool holds_only_8bit(const std::string& path);

// 8-bit JPEG at `quality` (clamped to 1..100). A non-empty `exif_block` (as
// libexif serialises it) becomes the file's APP1 segment when the written
// file is a JPEG; it is ignored otherwise.
bool write_jpeg(const std::string& path, const ImageBuffer& image, int quality,
                const std::vector<unsigned char>& exif_block);
// 16-bit RGB (8-bit where the format holds no more).
bool write_tiff(const std::string& path, const ImageBuffer& image);
// 16-bit RGB when `bits` is 16, 8-bit RGB otherwise.
bool write_png(const std::string& path, const ImageBuffer& image, int bits);

}  // namespace vornalix::output
