#pragma once
// Standard image files decoded through their own libraries (libjpeg-turbo,
// libpng, libtiff, libwebp) and a small BMP reader of ours. Each reader
// gives, in one pass, the pixels as 8-bit R, G, B and the ICC profile and
// EXIF block the file carries. The pixels are those OpenCV's colour read
// gave for the same file (the same libraries, set up the same way), so
// untagged pictures load exactly as before.

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vornalix::codec {

using Bytes = std::vector<unsigned char>;

struct DecodedImage {
    cv::Mat rgb;                 // CV_8UC3, R, G, B
    cv::Mat cmyk;                // CV_8UC4 as stored, for CMYK JPEGs only
    bool cmyk_inverted = false;  // Adobe's CMYK JPEGs store 255 for no ink
    Bytes icc;                   // the embedded ICC profile, or empty
    Bytes exif;                  // "Exif\0\0" + TIFF structure, or empty
};

// One reader per format; each throws on data it cannot decode.
DecodedImage read_jpeg(const unsigned char* data, std::size_t size);
DecodedImage read_png(const unsigned char* data, std::size_t size);
DecodedImage read_tiff(const unsigned char* data, std::size_t size);
DecodedImage read_webp(const unsigned char* data, std::size_t size);
DecodedImage read_bmp(const unsigned char* data, std::size_t size);

// True when the data starts with the APP1 EXIF header "Exif\0\0".
bool has_exif_header(const unsigned char* data, std::size_t size);
// An EXIF block from a chunk that holds the TIFF structure with or without
// that header; empty for an empty chunk.
Bytes exif_block(const unsigned char* data, std::size_t size);

// A TIFF file's EXIF as an EXIF block: the first directory's entries that
// describe the shot (make, model, date...) and the EXIF, GPS and
// interoperability directories, rebuilt compactly; empty when there are none.
Bytes tiff_exif_block(const unsigned char* data, std::size_t size);

// Fails unless a frame of width x height stays within the decoding bound:
// each reader asks once its library has read the header, so a header the
// probe read otherwise cannot make a decoder allocate beyond it.
void require_decodable_size(std::int64_t width, std::int64_t height);

// Decodes JPEG, PNG, TIFF, BMP or WebP data, the format chosen by its
// signature, once its header's size is known and within the decoding bound.
// Throws vornalix::Failure: "image too large (W x H pixels, ...): <name>"
// for an oversized header, "OpenCV could not read: <name>" otherwise.
DecodedImage decode_image(const Bytes& bytes, const std::string& name);

// The file read whole and decoded as decode_image does, `path` naming it.
DecodedImage read_image_file(const std::string& path);

}  // namespace vornalix::codec
