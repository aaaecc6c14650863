#include "image/loader.h"

#include "codec/image_read.h"
#include "color/input_profile.h"
#include "image/image_probe.h"
#include "image/size_bound.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace vornalix {

namespace {

// Enough of a file's head for every signature probe_image_header knows.
constexpr std::size_t kSignatureBytes = 16;

ImageFormat format_by_signature(const std::string& path) {
    unsigned char head[kSignatureBytes] = {};
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return ImageFormat::unknown;
    const std::size_t size = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    return probe_image_header(head, size).format;
}

bool has_standard_extension(const std::string& path) {
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

}  // namespace

bool is_standard_image(const std::string& path) {
    // Camera RAW files are TIFF inside, so a TIFF signature leaves the choice to the extension.
    const ImageFormat format = format_by_signature(path);
    return (format != ImageFormat::unknown && format != ImageFormat::tiff) || has_standard_extension(path);
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
