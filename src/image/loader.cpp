#include "image/loader.h"

#include "codec/image_read.h"
#include "color/input_profile.h"
#include "image/size_bound.h"

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

cv::Mat read_standard_srgb(const std::string& path) {
    return color_mgmt::to_srgb(codec::read_image_file(path));
}

ImageBuffer load_standard_image(const std::string& path, int max_side, cv::Size& full_size) {
    const cv::Mat full = read_standard_srgb(path);
    full_size = full.size();
    return ImageBuffer(bound_long_side(full, max_side));
}

}  // namespace vornalix
