#include "hash/phash.h"

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

}  // namespace vornalix
