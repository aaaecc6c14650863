#pragma once
// Encoding pictures into image files through the format libraries, with the
// colour profile and the EXIF block written in the same pass.

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace vornalix::codec {

using Bytes = std::vector<unsigned char>;

// The formats the library writes, chosen by a path's extension.
enum class ImageFormat { none, jpeg, png, tiff, webp, bmp };

ImageFormat format_for_path(const std::string& path);
// JPEG, WebP and BMP hold 8 bits per sample only.
bool holds_only_8bit(ImageFormat format);

constexpr int kDefaultQuality = 95;
// zlib level; below 0 the fast setting (level 1, sub filter, run-length).
constexpr int kFastPngCompression = -1;

// What travels with the pixels. `pixels` is R, G, B or R, G, B, A, 8-bit
// (16-bit for PNG and TIFF). `icc` is the profile of those pixels; `exif`
// is a block as libexif serialises it ("Exif\0\0" + TIFF), written by every
// encoder but BMP's. Either may be empty.
struct EncodeRequest {
    cv::Mat pixels;
    Bytes icc;
    Bytes exif;
    int quality = kDefaultQuality;  // JPEG, 1..100 (WebP is written lossless)
    int png_compression = kFastPngCompression;
};

// Each encoder fills `out` with a complete file; false on any library failure.
bool encode_jpeg(const EncodeRequest& request, Bytes& out);
bool encode_png(const EncodeRequest& request, Bytes& out);
bool encode_tiff(const EncodeRequest& request, Bytes& out);
bool encode_webp(const EncodeRequest& request, Bytes& out);
bool encode_bmp(const EncodeRequest& request, Bytes& out);

// The encoder for the format, or false for ImageFormat::none.
bool encode_image(ImageFormat format, const EncodeRequest& request, Bytes& out);

// The EXIF block without its "Exif\0\0" identifier, as PNG and WebP carry it.
Bytes tiff_part_of_exif(const Bytes& exif);

}  // namespace vornalix::codec
