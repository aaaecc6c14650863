#pragma once
// What a standard image file's first bytes say, read before any decoder
// runs: its format by signature and the frame size its header declares, so
// that a crafted header cannot make a decoder allocate gigabytes.

#include <cstddef>
#include <cstdint>
#include <string>

namespace vornalix {

// Largest image, in pixels, that any decoder of the library is asked to
// produce (standard files and RAW frames alike): 200 megapixels, about 1.2 GB
// as 16-bit RGB. Larger files are refused before decoding.
constexpr std::int64_t kMaxDecodedPixels = 200'000'000;

enum class ImageFormat { unknown, jpeg, png, tiff, bmp, webp };

// What the first bytes say: the format by signature, and the frame size its
// header declares (0 x 0 when the header is cut short or malformed).
struct ImageHeader {
    ImageFormat format = ImageFormat::unknown;
    std::int64_t width = 0;
    std::int64_t height = 0;
};

ImageHeader probe_image_header(const unsigned char* data, std::size_t size);

// True when a header of known, positive size stays within kMaxDecodedPixels.
bool within_decoding_bound(const ImageHeader& header);

// "W x H pixels, more than the 200-megapixel limit" for a refused header.
std::string too_large_text(const ImageHeader& header);

}  // namespace vornalix
