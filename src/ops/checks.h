#pragma once
// Input checks of the operations library: an image a function cannot read
// is refused with std::invalid_argument before any pixel is touched.

#include <opencv2/core.hpp>

#include <stdexcept>
#include <string>

namespace vornalix::ops {

// A non-empty four-channel float image (R, G, B, A).
inline void require_rgba_float(const cv::Mat& image, const char* function) {
    if (image.empty()) throw std::invalid_argument(std::string(function) + ": empty image");
    if (image.type() != CV_32FC4)
        throw std::invalid_argument(std::string(function) + ": needs a four-channel float image");
}

// A non-empty float image with three or four channels (R, G, B(, A)).
inline void require_rgb_float(const cv::Mat& image, const char* function) {
    if (image.empty()) throw std::invalid_argument(std::string(function) + ": empty image");
    if (image.type() != CV_32FC4 && image.type() != CV_32FC3)
        throw std::invalid_argument(std::string(function) + ": needs a three- or four-channel float image");
}

inline void require_non_empty(const cv::Mat& image, const char* function) {
    if (image.empty()) throw std::invalid_argument(std::string(function) + ": empty image");
}

// True for a four-channel float image with pixels.
inline bool is_rgba_float(const cv::Mat& image) { return !image.empty() && image.type() == CV_32FC4; }

}  // namespace vornalix::ops
