#include "auto/analysis_image.h"

#include "image/size_bound.h"
#include "pipeline/pixel.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace vornalix::analysis {

cv::Size reduced_size(cv::Size source, int width) {
    if (source.width <= 0 || source.height <= 0 || width <= 0) return cv::Size();
    const int max_height = width * kMaxAspect;
    const std::int64_t height = static_cast<std::int64_t>(source.height) * width / source.width;
    if (height > max_height) return scaled_size(source, long_side_factor(source, max_height));
    return cv::Size(width, std::max(static_cast<int>(height), 1));
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
    return pixel::luminance(planes[0], planes[1], planes[2]);
}

}  // namespace vornalix::analysis
