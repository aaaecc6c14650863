#pragma once
// Writing a rendered image to a file. The path's extension decides the
// format (JPEG, PNG, TIFF, WebP or BMP; any other is refused and nothing is
// written); files are replaced atomically (see file_io.h). Every file
// carries the ICC profile of its pixels, converted from the rendered sRGB
// picture at 16 bits into the chosen output space.

#include "color/profile_manager.h"
#include "image/image_buffer.h"

#include <string>
#include <vector>

namespace vornalix::output {

using color_mgmt::ColorSpace;

// True for the formats written with 8 bits per sample only, where 16-bit
// data is reduced (÷257): JPEG, WebP and BMP.
bool holds_only_8bit(const std::string& path);

// The rendered picture (sRGB) converted to `space` at 16 bits; the picture
// itself for sRGB. Empty when the conversion fails.
ImageBuffer in_output_space(const ImageBuffer& image, ColorSpace space);

// 8-bit JPEG at `quality` (clamped to 1..100). A
// non-empty `exif_block` (as libexif serialises it) is written with the
// pixels where the format carries EXIF (all but BMP).
bool write_jpeg(const std::string& path, const ImageBuffer& image, int quality,
                const std::vector<unsigned char>& exif_block, ColorSpace space = ColorSpace::sRGB);
// 16-bit RGB (8-bit where the format holds no more), with `exif_block` as above.
bool write_tiff(const std::string& path, const ImageBuffer& image, ColorSpace space = ColorSpace::sRGB,
                const std::vector<unsigned char>& exif_block = {});
// 16-bit RGB when `bits` is 16, 8-bit RGB otherwise, with `exif_block` as above.
bool write_png(const std::string& path, const ImageBuffer& image, int bits, ColorSpace space = ColorSpace::sRGB,
               const std::vector<unsigned char>& exif_block = {});
// The subject cut-out: 8-bit B, G, R, A whose colours are already in `space`.
bool write_cutout(const std::string& path, const cv::Mat& bgra, ColorSpace space);

}  // namespace vornalix::output
