#pragma once
// Reading standard image files safely. OpenCV picks its decoder from the
// bytes, and Debian's build would also decode OpenEXR, JPEG 2000, HDR, PFM
// and DICOM; the library hands it only JPEG, PNG, TIFF, BMP and WebP data, and
// only when the header's dimensions stay within kMaxDecodedPixels, so a
// crafted header cannot make the decoder allocate gigabytes.

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

enum class ImageReadStatus { ok, unreadable, too_large };

struct ImageRead {
    ImageReadStatus status = ImageReadStatus::unreadable;
    cv::Mat image;       // as cv::imdecode gives it (BGR for IMREAD_COLOR)
    ImageHeader header;  // the probed header
};

// Decodes `bytes` with cv::imdecode(flags) when the signature is one of the
// five formats and the header's size is known and within kMaxDecodedPixels.
ImageRead decode_image_bytes(const std::vector<unsigned char>& bytes, int imread_flags);

// Reads the whole file and decodes it as decode_image_bytes does. Missing
// files, directories and unreadable files are `unreadable`.
ImageRead read_image_file(const std::string& path, int imread_flags);

// Whole-file read into `bytes`; false when the path cannot be read as a file.
bool read_file_bytes(const std::string& path, std::vector<unsigned char>& bytes);

// "W x H pixels, more than the 200-megapixel limit" for a refused header.
std::string too_large_text(const ImageHeader& header);

}  // namespace vornalix
