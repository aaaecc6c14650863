#include "image/thumbnail.h"

#include "api/boundary.h"
#include "color/input_profile.h"
#include "image/libraw_processor.h"
#include "image/loader.h"
#include "image/size_bound.h"
#include "vornalix.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace vornalix {

int take_raw_thumbnail(LibRaw& processor, RawThumbnail& out) {
    out = RawThumbnail{};
    int code = LIBRAW_SUCCESS;
    // Owned at once, so it is released on every path, exceptions included.
    ProcessedImagePtr thumb(processor.dcraw_make_mem_thumb(&code));
    if (!thumb || code != LIBRAW_SUCCESS) return kThumbNoImage;

    if (thumb->type == LIBRAW_IMAGE_JPEG) {
        out.jpeg.assign(thumb->data, thumb->data + thumb->data_size);
        return kFileOk;
    }
    // A bitmap is read only when its depth, colours and data size agree.
    std::string why;
    out.rgb = copy_processed_image(*thumb, 8, why);
    return out.rgb.empty() ? kThumbNoImage : kFileOk;
}

int read_raw_thumbnail(const std::string& path, RawThumbnail& out) {
    out = RawThumbnail{};
    LibRawPtr processor = make_libraw_processor();
    if (processor->open_file(path.c_str()) != LIBRAW_SUCCESS) return kFileUnreadable;
    if (processor->unpack_thumb() != LIBRAW_SUCCESS) return kThumbUnpackFailed;
    return take_raw_thumbnail(*processor, out);
}

namespace {

// An encoder that yields no bytes is a failure, never an empty thumbnail.
int encode_jpeg(const cv::Mat& bgr, int quality, std::vector<unsigned char>& jpeg) {
    jpeg.clear();
    const bool ok = cv::imencode(".jpg", bgr, jpeg, {cv::IMWRITE_JPEG_QUALITY, quality});
    return ok && !jpeg.empty() ? kFileOk : kFileUnreadable;
}

int standard_thumbnail(const std::string& path, std::vector<unsigned char>& jpeg) {
    cv::Mat bgr;
    cv::cvtColor(bound_long_side(color_mgmt::to_8bit(read_standard_srgb(path)), kThumbMaxSide), bgr,
                 cv::COLOR_RGB2BGR);
    return encode_jpeg(bgr, kThumbQuality, jpeg);
}

int raw_thumbnail(const std::string& path, std::vector<unsigned char>& jpeg) {
    RawThumbnail thumb;
    const int code = read_raw_thumbnail(path, thumb);
    if (code != kFileOk) return code;
    if (!thumb.jpeg.empty()) {
        jpeg = std::move(thumb.jpeg);  // the camera's own preview, untouched
        return kFileOk;
    }
    cv::Mat bgr;
    cv::cvtColor(thumb.rgb, bgr, cv::COLOR_RGB2BGR);
    return encode_jpeg(bgr, kBitmapThumbQuality, jpeg);
}

}  // namespace

int make_thumbnail_jpeg(const std::string& path, std::vector<unsigned char>& jpeg) {
    jpeg.clear();
    return is_standard_image(path) ? standard_thumbnail(path, jpeg) : raw_thumbnail(path, jpeg);
}

}  // namespace vornalix

extern "C" {

VORNALIX_API int vornalix_extract_thumbnail(const char* path, unsigned char** data, unsigned int* size) {
    if (!path || !data || !size) return -1;
    *data = nullptr;
    *size = 0;
    return vornalix::api::guarded(nullptr, [&] {
        std::vector<unsigned char> jpeg;
        const int code = vornalix::make_thumbnail_jpeg(path, jpeg);
        if (code != vornalix::kFileOk) return code;
        if (jpeg.size() > UINT_MAX) return vornalix::kThumbAllocFailed;
        *size = static_cast<unsigned int>(jpeg.size());
        void* block = std::malloc(jpeg.size());
        if (!block) return vornalix::kThumbAllocFailed;
        std::memcpy(block, jpeg.data(), jpeg.size());
        *data = static_cast<unsigned char*>(block);
        return vornalix::kFileOk;
    });
}

VORNALIX_API void vornalix_free_thumb(void* data) { std::free(data); }

}  // extern "C"
