#include "image/loader.h"

#include "image/image_probe.h"
#include "image/size_bound.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <array>

namespace vornalix {

bool is_standard_image(const std::string& path) {
    static constexpr std::array<const char*, 7> kSuffixes = {".jpg", ".jpeg", ".png", ".tif",
                                                            ".tiff", ".bmp", ".webp"};
    std::string lower = path;
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return std::any_of(kSuffixes.begin(), kSuffixes.end(), [&](const char* suffix) {
        const std::string s(suffix);
        return lower.size() >= s.size() && lower.compare(lower.size() - s.size(), s.size(), s) == 0;
    });
}

bool load_standard_image(const std::string& path, ImageBuffer& out, std::string& error) {
    ImageRead read = read_image_file(path, cv::IMREAD_COLOR);
    if (read.status == ImageReadStatus::too_large) {
        error = "image too large (" + too_large_text(read.header) + "): " + path;
        return false;
    }
    if (read.status != ImageReadStatus::ok) {
        error = "OpenCV could not read: " + path;
        return false;
    }
    cv::Mat rgb;
    cv::cvtColor(read.image, rgb, cv::COLOR_BGR2RGB);
    out = ImageBuffer(bound_long_side(rgb, kStandardMaxSide));
    return true;
}

}  // namespace vornalix
