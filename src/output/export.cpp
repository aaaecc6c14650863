#include "output/export.h"

#include "codec/image_write.h"
#include "output/file_io.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace vornalix::output {

namespace {

constexpr int kMinQuality = 1;
constexpr int kMaxQuality = 100;
constexpr int kSixteenBits = 16;
constexpr double kFloatToSixteen = 65535;
constexpr int kCutoutCompression = 6;

bool encode_and_write(const std::string& path, codec::EncodeRequest& request, ColorSpace space) {
    const codec::ImageFormat format = codec::format_for_path(path);
    if (format == codec::ImageFormat::none || request.pixels.empty()) return false;
    request.icc = color_mgmt::ProfileManager().get_icc_bytes(space);
    Bytes file;
    return codec::encode_image(format, request, file) && write_file_atomically(path, file);
}

// Converts, takes the pixels at the depth asked for (8 bits where the format
// holds no more) and writes them with their profile.
bool write_picture(const std::string& path, const ImageBuffer& image, bool eight_bits, ColorSpace space,
                   codec::EncodeRequest request) {
    if (image.empty()) return false;
    const ImageBuffer converted = in_output_space(image, space);
    request.pixels = converted.rgb_mat(eight_bits || holds_only_8bit(path) ? CV_8U : CV_16U);
    return encode_and_write(path, request, space);
}

}  // namespace

bool holds_only_8bit(const std::string& path) { return codec::holds_only_8bit(codec::format_for_path(path)); }

ImageBuffer in_output_space(const ImageBuffer& image, ColorSpace space) {
    if (space == ColorSpace::sRGB || image.empty()) return image;
    // In float: Little CMS's 16-bit tables lose up to 1.5 8-bit levels near
    // black on the steep start of the wide spaces' curves.
    cv::Mat working = image.to_float();
    if (!color_mgmt::ProfileManager().convert(working, ColorSpace::sRGB, space)) return ImageBuffer();
    ImageBuffer converted;
    working.convertTo(converted.mat, CV_16U, kFloatToSixteen);
    return converted;
}

bool write_jpeg(const std::string& path, const ImageBuffer& image, int quality,
                const std::vector<unsigned char>& exif_block, ColorSpace space) {
    codec::EncodeRequest request;
    request.quality = std::clamp(quality, kMinQuality, kMaxQuality);
    request.exif = exif_block;
    return write_picture(path, image, true, space, std::move(request));
}

bool write_tiff(const std::string& path, const ImageBuffer& image, ColorSpace space,
                const std::vector<unsigned char>& exif_block) {
    codec::EncodeRequest request;
    request.exif = exif_block;
    return write_picture(path, image, false, space, std::move(request));
}

bool write_png(const std::string& path, const ImageBuffer& image, int bits, ColorSpace space,
               const std::vector<unsigned char>& exif_block) {
    codec::EncodeRequest request;
    request.exif = exif_block;
    return write_picture(path, image, bits != kSixteenBits, space, std::move(request));
}

bool write_cutout(const std::string& path, const cv::Mat& bgra, ColorSpace space) {
    codec::EncodeRequest request;
    cv::cvtColor(bgra, request.pixels, cv::COLOR_BGRA2RGBA);
    request.png_compression = kCutoutCompression;
    return encode_and_write(path, request, space);
}

}  // namespace vornalix::output
