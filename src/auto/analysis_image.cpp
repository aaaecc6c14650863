#include "auto/analysis_image.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace vornalix::analysis {

cv::Size reduced_size(cv::Size source, int width) {
    if (source.width <= 0 || source.height <= 0 || width <= 0) return cv::Size();
    const std::int64_t max_height = static_cast<std::int64_t>(width) * kMaxAspect;
    std::int64_t height = static_cast<std::int64_t>(source.height) * width / source.width;
    std::int64_t cols = width;
    if (height > max_height) {
        cols = static_cast<std::int64_t>(source.width) * max_height / source.height;
        height = max_height;
    }
    return cv::Size(static_cast<int>(std::max<std::int64_t>(cols, 1)),
                    static_cast<int>(std::max<std::int64_t>(height, 1)));
}

cv::Mat reduced_copy(const ImageBuffer& source, cv::Size size) {
    if (source.empty() || size.empty()) return cv::Mat();
    return source.resize(size.width, size.height, cv::INTER_LINEAR).to_float();
}

cv::Mat reduced_copy(const ImageBuffer& source, int width) {
    return reduced_copy(source, reduced_size(source.mat.size(), width));
}

cv::Mat luminance_plane(const cv::Mat& rgb_float) {
    if (rgb_float.empty()) return cv::Mat();
    if (rgb_float.depth() != CV_32F || rgb_float.channels() < 3)
        throw std::invalid_argument("luminance plane needs a float image with three or four channels");
    std::vector<cv::Mat> planes;
    cv::split(rgb_float, planes);
    cv::Mat lum = planes[0] * static_cast<double>(0.2126f) + planes[1] * static_cast<double>(0.7152f) +
                  planes[2] * static_cast<double>(0.0722f);
    return lum;
}

}  // namespace vornalix::analysis
