#pragma once
// Writes tiny uncompressed DNG files for tests of the RAW route, so RAW
// decoding runs without large camera files. The "camera" sees linear sRGB
// (its colour matrix is the XYZ -> linear sRGB matrix, white balance 1:1:1),
// so a developed file looks like the scene given, sRGB-encoded.
// LibRaw refuses frames under 22 pixels a side.

#include <opencv2/core.hpp>

#include <string>

namespace vornalix::testing {

struct DngOptions {
    std::string make = "Vornalix";
    int orientation = 1;  // TIFF orientation code
    // Frame size written into the header when non-zero, whatever the data
    // holds: for files that claim more than they carry.
    int declared_width = 0;
    int declared_height = 0;
};

// A Bayer RGGB mosaic sampled from `rgb` (CV_16UC3 linear R, G, B; even
// width and height of at least 22). True on success.
bool write_bayer_dng(const std::string& path, const cv::Mat& rgb, const DngOptions& options = {});

// A one-sample LinearRaw (monochrome) DNG from `grey` (CV_16UC1).
bool write_linear_grey_dng(const std::string& path, const cv::Mat& grey, const DngOptions& options = {});

// A linear R, G, B scene of the given size: left third red, middle third
// green, right third blue, each at `level` (0..65535), the lower half at
// half that level, so tests can tell colours, sides and top from bottom.
cv::Mat make_test_scene(int width, int height, unsigned short level = 30000);

}  // namespace vornalix::testing
