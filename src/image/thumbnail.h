#pragma once
// Previews of image files without a context: the camera's embedded thumbnail
// of a RAW file, or a reduced copy of a standard image, as JPEG bytes.

#include <libraw/libraw.h>
#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace vornalix {

// C codes of the file utilities' failures (thumbnail and hash), beside the
// general -1 for a file that cannot be read, opened or encoded.
constexpr int kThumbUnpackFailed = -2;   // the RAW file yields no embedded thumbnail
constexpr int kThumbNoImage = -3;        // the thumbnail cannot be made into an image

// Long side of the thumbnail made from a standard image, and its JPEG quality.
constexpr int kThumbMaxSide = 160;
constexpr int kThumbQuality = 75;
// JPEG quality of a RAW file's bitmap thumbnail.
constexpr int kBitmapThumbQuality = 80;

// A RAW file's embedded thumbnail: either the camera's JPEG byte for byte,
// or a bitmap copied out as 8-bit R, G, B.
struct RawThumbnail {
    std::vector<unsigned char> jpeg;
    cv::Mat rgb;
};

// Converts the thumbnail an opened processor has unpacked into `out` (first
// emptied); fails with kThumbNoImage, also for a bitmap that is not 8-bit
// with 1 or 3 colours or whose data is shorter than its size.
void take_raw_thumbnail(LibRaw& processor, RawThumbnail& out);

// Opens the RAW file with a fresh LibRaw processor and takes its thumbnail,
// never unpacking the raw data. Fails with -1 when the file cannot be opened,
// kThumbUnpackFailed or kThumbNoImage.
RawThumbnail read_raw_thumbnail(const std::string& path);

// The JPEG bytes vornalix_extract_thumbnail hands over; fails with its codes.
std::vector<unsigned char> make_thumbnail_jpeg(const std::string& path);

}  // namespace vornalix
