#include "image/thumbnail.h"

#include "codec/image_write.h"
#include "color/input_profile.h"
#include "core/failure.h"
#include "image/libraw_processor.h"
#include "image/loader.h"
#include "image/size_bound.h"

#include <opencv2/imgproc.hpp>

namespace vornalix {

void take_raw_thumbnail(LibRaw& processor, RawThumbnail& out) {
    out = RawThumbnail{};
    int code = LIBRAW_SUCCESS;
    // Owned at once, so it is released on every path, exceptions included.
    ProcessedImagePtr thumb(processor.dcraw_make_mem_thumb(&code));
    if (!thumb || code != LIBRAW_SUCCESS) fail("thumbnail cannot be made into an image", kThumbNoImage);

    if (thumb->type == LIBRAW_IMAGE_JPEG) {
        out.jpeg.assign(thumb->data, thumb->data + thumb->data_size);
        return;
    }
    // A bitmap is read only when its depth, colours and data size agree.
    out.rgb = copy_processed_image(*thumb, 8, kThumbNoImage);
}

RawThumbnail read_raw_thumbnail(const std::string& path) {
    LibRawPtr processor = make_libraw_processor();
    if (processor->open_file(path.c_str()) != LIBRAW_SUCCESS) fail("RAW file cannot be opened");
    if (processor->unpack_thumb() != LIBRAW_SUCCESS) fail("no embedded thumbnail", kThumbUnpackFailed);
    RawThumbnail thumb;
    take_raw_thumbnail(*processor, thumb);
    return thumb;
}

namespace {

// An encoder that yields no bytes is a failure, never an empty thumbnail.
std::vector<unsigned char> encode_jpeg(const cv::Mat& rgb, int quality) {
    codec::EncodeRequest request;
    request.pixels = rgb;
    request.quality = quality;
    std::vector<unsigned char> jpeg;
    if (!codec::encode_jpeg(request, jpeg) || jpeg.empty()) fail("thumbnail cannot be encoded");
    return jpeg;
}

std::vector<unsigned char> standard_thumbnail(const std::string& path) {
    return encode_jpeg(bound_long_side(color_mgmt::to_8bit(read_standard_srgb(path)), kThumbMaxSide),
                       kThumbQuality);
}

std::vector<unsigned char> raw_thumbnail(const std::string& path) {
    RawThumbnail thumb = read_raw_thumbnail(path);
    if (!thumb.jpeg.empty()) return std::move(thumb.jpeg);  // the camera's own preview, untouched
    return encode_jpeg(thumb.rgb, kBitmapThumbQuality);
}

}  // namespace

std::vector<unsigned char> make_thumbnail_jpeg(const std::string& path) {
    return is_standard_image(path) ? standard_thumbnail(path) : raw_thumbnail(path);
}

}  // namespace vornalix
