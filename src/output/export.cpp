#include "output/export.h"

#include "image/image_memory.h"
#include "metadata/exif.h"
#include "output/file_io.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace vornalix::output {

namespace {

constexpr int kMinQuality = 1;
constexpr int kMaxQuality = 100;
constexpr int kSixteenBits = 16;

// The encoders take B, G, R without alpha.
cv::Mat bgr16(const ImageBuffer& image) {
    cv::Mat bgr;
    create_image(bgr, image.mat.size(), CV_16UC3);
    cv::cvtColor(image.mat, bgr, cv::COLOR_RGBA2BGR);
    return bgr;
}

// 16-bit data, unless the format can hold only 8 bits: then the ÷257 image.
cv::Mat wide_bgr(const std::string& path, const ImageBuffer& image) {
    return holds_only_8bit(path) ? image.to_8bit_bgr() : bgr16(image);
}

// Puts the block into the written temporary; a file that is no JPEG (the
// extension chose another format) keeps what the writer made.
bool embed_exif(const std::string& temp, const std::vector<unsigned char>& block) {
    Bytes jpeg;
    if (!read_file(temp, jpeg)) return false;
    if (!metadata::insert_app1(jpeg, block)) return true;
    return overwrite_file(temp, jpeg);
}

}  // namespace

bool holds_only_8bit(const std::string& path) {
    static const char* const kEightBitExtensions[] = {".jpg", ".jpeg", ".jpe", ".bmp", ".dib",
                                                      ".webp", ".sr", ".ras"};
    const std::string ext = extension_of(path);
    return std::any_of(std::begin(kEightBitExtensions), std::end(kEightBitExtensions),
                       [&](const char* e) { return ext == e; });
}

bool write_jpeg(const std::string& path, const ImageBuffer& image, int quality,
                const std::vector<unsigned char>& exif_block) {
    if (image.empty()) return false;
    const std::vector<int> params{cv::IMWRITE_JPEG_QUALITY, std::clamp(quality, kMinQuality, kMaxQuality)};
    if (exif_block.empty()) return write_image_atomically(path, image.to_8bit_bgr(), params);
    return write_image_atomically(path, image.to_8bit_bgr(), params,
                                  [&](const std::string& temp) { return embed_exif(temp, exif_block); });
}

bool write_tiff(const std::string& path, const ImageBuffer& image) {
    if (image.empty()) return false;
    return write_image_atomically(path, wide_bgr(path, image), {});
}

bool write_png(const std::string& path, const ImageBuffer& image, int bits) {
    if (image.empty()) return false;
    return write_image_atomically(path, bits == kSixteenBits ? wide_bgr(path, image) : image.to_8bit_bgr(), {});
}

}  // namespace vornalix::output
