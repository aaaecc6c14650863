// Until the library's own exports are available this writes the 8-bit
// preview through OpenCV. It is the tool's only use of OpenCV: once the
// exports exist, write_rendering calls them and OpenCV leaves the tool's link.

#include "preview_writer.h"

#include "cli.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace cli {

namespace {

std::string lower_extension(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

}  // namespace

int write_rendering(VornalixContext* ctx, const std::string& path, int quality) {
    const std::string ext = lower_extension(path);
    const bool jpeg = ext == ".jpg" || ext == ".jpeg";
    if (!jpeg && ext != ".png" && ext != ".tif" && ext != ".tiff") {
        std::fprintf(stderr, "vornalix: unsupported output format '%s' (use .png, .jpg or .tif)\n", path.c_str());
        return kUsageError;
    }
    // The preview renders; a buffer of the loaded size serves unless the
    // geometry stages change the size, which the size queries then report.
    std::vector<unsigned char> rgba;
    int width = 0, height = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        width = vornalix_get_width(ctx);
        height = vornalix_get_height(ctx);
        rgba.assign(std::max<size_t>(1, static_cast<size_t>(width) * height * 4), 0);
        if (vornalix_get_preview(ctx, rgba.data(), static_cast<int>(rgba.size())) == 0) break;
        if (attempt == 1 || std::strcmp(vornalix_last_error(ctx), "output buffer too small") != 0)
            return library_failure(ctx, "rendering failed");
    }
    cv::Mat bgr;
    cv::cvtColor(cv::Mat(height, width, CV_8UC4, rgba.data()), bgr, cv::COLOR_RGBA2BGR);
    std::vector<int> params;
    if (jpeg) params = {cv::IMWRITE_JPEG_QUALITY, quality};
    bool written = false;
    try {
        written = cv::imwrite(path, bgr, params);
    } catch (const cv::Exception&) {
    }
    if (!written) {
        std::fprintf(stderr, "vornalix: could not write %s\n", path.c_str());
        return kFailure;
    }
    return 0;
}

}  // namespace cli
