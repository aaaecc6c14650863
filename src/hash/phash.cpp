#include "hash/phash.h"

#include "codec/image_read.h"
#include "color/input_profile.h"
#include "core/failure.h"
#include "image/loader.h"
#include "image/size_bound.h"
#include "image/thumbnail.h"

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

cv::Mat standard_grey(const std::string& path) {
    return bound_long_side(grey_of(read_standard_srgb(path)), kHashMaxSide);
}

// The embedded thumbnail in grey, at its own size, through the same colour
// route as standard files. An undecodable or oversized JPEG gives an empty image.
cv::Mat raw_thumbnail_grey(const std::string& path) {
    const RawThumbnail thumb = read_raw_thumbnail(path);
    cv::Mat grey;
    if (thumb.jpeg.empty()) {
        cv::cvtColor(thumb.rgb, grey, cv::COLOR_RGB2GRAY);
        return grey;
    }
    try {
        grey = grey_of(color_mgmt::to_srgb(codec::decode_image(thumb.jpeg, path)));
    } catch (const Failure&) {
        grey.release();
    }
    return grey;
}

}  // namespace

uint64_t perceptual_hash_file(const std::string& path) {
    const cv::Mat grey = is_standard_image(path) ? standard_grey(path) : raw_thumbnail_grey(path);
    if (grey.empty()) fail("thumbnail cannot be decoded", kHashNoGreyImage);
    return perceptual_hash(grey);
}

}  // namespace vornalix
