#include "support/dng_writer.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdint>

namespace vornalix::testing {

namespace {

// One uncompressed strip of 16-bit samples, under whatever frame size the
// options declare.
constexpr int kLinearRaw = 34892;  // not named by libtiff

bool write_dng(const std::string& path, const cv::Mat& samples, int photometric, const DngOptions& o) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    if (!tif) return false;
    const int height = o.declared_height ? o.declared_height : samples.rows;
    for (auto [tag, value] : {std::pair<uint32_t, int>{TIFFTAG_SUBFILETYPE, 0}, {TIFFTAG_BITSPERSAMPLE, 16},
                              {TIFFTAG_IMAGEWIDTH, o.declared_width ? o.declared_width : samples.cols},
                              {TIFFTAG_IMAGELENGTH, height}, {TIFFTAG_ROWSPERSTRIP, height},
                              {TIFFTAG_COMPRESSION, COMPRESSION_NONE}, {TIFFTAG_PHOTOMETRIC, photometric},
                              {TIFFTAG_ORIENTATION, o.orientation}, {TIFFTAG_SAMPLESPERPIXEL, 1},
                              {TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG}, {TIFFTAG_CALIBRATIONILLUMINANT1, 21}})  // D65
        TIFFSetField(tif, tag, value);
    const uint8_t version[] = {1, 4, 0, 0}, rggb[] = {0, 1, 1, 2};
    const uint16_t cfa_size[] = {2, 2};
    // XYZ (D65) -> linear sRGB: the camera records linear sRGB, white balance 1:1:1.
    const float xyz_to_srgb[] = {3.2406f, -1.5372f, -0.4986f, -0.9689f, 1.8758f, 0.0415f, 0.0557f, -0.2040f, 1.0570f};
    const float neutral[] = {1, 1, 1};
    const uint32_t white = 65535;
    TIFFSetField(tif, TIFFTAG_MAKE, o.make.c_str());
    TIFFSetField(tif, TIFFTAG_MODEL, "Test Camera");
    TIFFSetField(tif, TIFFTAG_UNIQUECAMERAMODEL, (o.make + " Test Camera").c_str());
    TIFFSetField(tif, TIFFTAG_DNGVERSION, version);
    TIFFSetField(tif, TIFFTAG_COLORMATRIX1, 9, xyz_to_srgb);
    TIFFSetField(tif, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
    TIFFSetField(tif, TIFFTAG_WHITELEVEL, 1, &white);
    if (photometric == PHOTOMETRIC_CFA) {
        TIFFSetField(tif, TIFFTAG_CFAREPEATPATTERNDIM, cfa_size);
        TIFFSetField(tif, TIFFTAG_CFAPATTERN, 4, rggb);
    }
    const tmsize_t bytes = static_cast<tmsize_t>(samples.total() * samples.elemSize());
    const bool written = TIFFWriteRawStrip(tif, 0, samples.data, bytes) == bytes;
    TIFFClose(tif);
    return written;
}

}  // namespace

bool write_bayer_dng(const std::string& path, const cv::Mat& rgb, const DngOptions& options) {
    if (rgb.type() != CV_16UC3 || rgb.cols % 2 || rgb.rows % 2) return false;
    cv::Mat mosaic(rgb.size(), CV_16UC1);
    for (int y = 0; y < rgb.rows; ++y)
        for (int x = 0; x < rgb.cols; ++x) {
            // RGGB: R at (even, even), B at (odd, odd), G elsewhere.
            const int channel = (y % 2 == 0 && x % 2 == 0) ? 0 : (y % 2 == 1 && x % 2 == 1) ? 2 : 1;
            mosaic.at<std::uint16_t>(y, x) = rgb.at<cv::Vec3w>(y, x)[channel];
        }
    return write_dng(path, mosaic, PHOTOMETRIC_CFA, options);
}

bool write_linear_grey_dng(const std::string& path, const cv::Mat& grey, const DngOptions& options) {
    return grey.type() == CV_16UC1 && write_dng(path, grey.clone(), kLinearRaw, options);
}

cv::Mat make_test_scene(int width, int height, unsigned short level) {
    cv::Mat scene(height, width, CV_16UC3, cv::Scalar::all(0));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            scene.at<cv::Vec3w>(y, x)[std::min(2, 3 * x / width)] = y < height / 2 ? level : level / 2;
    return scene;
}

}  // namespace vornalix::testing
