#include "hash/phash.h"

#include "api/boundary.h"
#include "codec/image_read.h"
#include "color/input_profile.h"
#include "core/failure.h"
#include "image/loader.h"
#include "image/size_bound.h"
#include "image/thumbnail.h"
#include "vornalix.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>

namespace vornalix {

uint64_t perceptual_hash(const cv::Mat& grey) {
    constexpr int kHashSide = 32;  // the image the DCT sees
    constexpr int kBlock = 8;      // lowest frequencies kept, per axis

    cv::Mat small;
    cv::resize(grey, small, cv::Size(kHashSide, kHashSide), 0, 0, cv::INTER_AREA);
    small.convertTo(small, CV_32F, 1.0);
    cv::Mat spectrum;
    cv::dct(small, spectrum, 0);

    // The DC term measures overall brightness only; it stays out of the median.
    std::array<float, kBlock * kBlock - 1> ac{};
    size_t n = 0;
    for (int r = 0; r < kBlock; ++r)
        for (int c = 0; c < kBlock; ++c)
            if (r != 0 || c != 0) ac[n++] = spectrum.at<float>(r, c);
    std::sort(ac.begin(), ac.end());
    const float median = ac[ac.size() / 2];

    uint64_t hash = 0;
    for (int r = 0; r < kBlock; ++r)
        for (int c = 0; c < kBlock; ++c)
            hash = (hash << 1) | (spectrum.at<float>(r, c) > median ? 1u : 0u);
    return hash;
}

namespace {

cv::Mat grey_of(const cv::Mat& srgb) {
    cv::Mat grey;
    cv::cvtColor(color_mgmt::to_8bit(srgb), grey, cv::COLOR_RGB2GRAY);
    return grey;
}

int standard_grey(const std::string& path, cv::Mat& grey) {
    grey = bound_long_side(grey_of(read_standard_srgb(path)), kHashMaxSide);
    return kFileOk;
}

// The embedded thumbnail in grey, at its own size, through the same colour
// route as standard files. An undecodable or oversized JPEG leaves `grey` empty.
int raw_thumbnail_grey(const std::string& path, cv::Mat& grey) {
    RawThumbnail thumb;
    const int code = read_raw_thumbnail(path, thumb);
    if (code != kFileOk) return code;
    if (!thumb.jpeg.empty()) {
        try {
            grey = grey_of(color_mgmt::to_srgb(codec::decode_image(thumb.jpeg, path)));
        } catch (const Failure&) {
            grey.release();
        }
    } else
        cv::cvtColor(thumb.rgb, grey, cv::COLOR_RGB2GRAY);
    return kFileOk;
}

}  // namespace

int perceptual_hash_file(const std::string& path, uint64_t& hash) {
    cv::Mat grey;
    const int code = is_standard_image(path) ? standard_grey(path, grey) : raw_thumbnail_grey(path, grey);
    if (code != kFileOk) return code;
    if (grey.empty()) return kHashNoGreyImage;
    hash = perceptual_hash(grey);
    return kFileOk;
}

}  // namespace vornalix

extern "C" VORNALIX_API int vornalix_phash(const char* path, unsigned long long* hash) {
    if (!path || !hash) return -1;
    *hash = 0;
    return vornalix::api::guarded(nullptr, [&] {
        uint64_t value = 0;
        const int code = vornalix::perceptual_hash_file(path, value);
        if (code == vornalix::kFileOk) *hash = value;
        return code;
    });
}
