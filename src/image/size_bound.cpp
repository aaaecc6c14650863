#include "image/size_bound.h"

#include "image/area_resize.h"
#include "image/image_memory.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>

namespace vornalix {

float long_side_factor(cv::Size size, int max_side) {
    const int longer = std::max(size.width, size.height);
    if (longer <= max_side || longer <= 0) return 1.0f;
    return static_cast<float>(max_side) / static_cast<float>(longer);
}

cv::Size scaled_size(cv::Size size, double factor) {
    return {std::max(1, cv::saturate_cast<int>(size.width * factor)),
            std::max(1, cv::saturate_cast<int>(size.height * factor))};
}

namespace {

// Resizes by `factor`. While both sides stay non-empty the factor itself goes
// to cv::resize, so ordinary images get exactly the sampling the plain call
// gives; only a side that would round to 0 is given an explicit size.
cv::Mat resize_by(const cv::Mat& image, double factor) {
    const cv::Size natural(cv::saturate_cast<int>(image.cols * factor),
                           cv::saturate_cast<int>(image.rows * factor));
    cv::Mat out;
    if (natural.width > 0 && natural.height > 0) {
        create_image(out, natural, image.type());
        resize_area(image, out, cv::Size(), factor, factor);
    } else {
        resize_area(image, out, scaled_size(image.size(), factor));
    }
    return out;
}

}  // namespace

cv::Mat bound_long_side(const cv::Mat& image, int max_side) {
    if (image.empty() || std::max(image.cols, image.rows) <= max_side) return image;
    return resize_by(image, long_side_factor(image.size(), max_side));
}

int working_max_side(int limit, int default_max_side) {
    if (limit < 0) return default_max_side;
    return limit == 0 ? INT_MAX : limit;
}

float pixel_scale(cv::Size full, cv::Size working, int default_max_side) {
    const cv::Size bounded = scaled_size(full, long_side_factor(full, default_max_side));
    const int bounded_side = std::max(bounded.width, bounded.height);
    const int working_side = std::max(working.width, working.height);
    if (bounded_side <= 0 || working_side == bounded_side) return 1.0f;
    return static_cast<float>(working_side) / static_cast<float>(bounded_side);
}

cv::Mat halve(const cv::Mat& image) {
    if (image.empty()) return image;
    const cv::Size half(std::max(1, image.cols / 2), std::max(1, image.rows / 2));
    cv::Mat out;
    create_image(out, half, image.type());
    resize_area(image, out, half);
    return out;
}

}  // namespace vornalix
