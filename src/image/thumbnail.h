#pragma once
// Previews of image files without a context: the camera's embedded thumbnail
// of a RAW file, or a reduced copy of a standard image, as JPEG bytes.

#include <libraw/libraw.h>
#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace vornalix {

// Result codes shared by the file utilities (thumbnail and hash).
constexpr int kFileOk = 0;
constexpr int kFileUnreadable = -1;      // unreadable standard image, RAW open failed
constexpr int kThumbUnpackFailed = -2;   // the RAW file yields no embedded thumbnail
constexpr int kThumbNoImage = -3;        // the thumbnail cannot be made into an image
constexpr int kThumbAllocFailed = -4;    // the host's block cannot be allocated

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

// Converts the thumbnail an opened processor has unpacked: kFileOk or
// kThumbNoImage (also for a bitmap that is not 8-bit with 1 or 3 colours or
// whose data is shorter than its size).
int take_raw_thumbnail(LibRaw& processor, RawThumbnail& out);

// Opens the RAW file with a fresh LibRaw processor and takes its thumbnail,
// never unpacking the raw data. kFileOk, kFileUnreadable, kThumbUnpackFailed
// or kThumbNoImage.
int read_raw_thumbnail(const std::string& path, RawThumbnail& out);

// The JPEG bytes vornalix_extract_thumbnail hands over, or a failure code.
int make_thumbnail_jpeg(const std::string& path, std::vector<unsigned char>& jpeg);

}  // namespace vornalix
