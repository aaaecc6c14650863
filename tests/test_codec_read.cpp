// Standard files read through the format libraries: every variant decodes to
// the pixels OpenCV's colour read gives, and an embedded profile brings a
// wide-gamut copy back to its sRGB original.

#include "codec/image_read.h"
#include "codec/image_write.h"
#include "color/input_profile.h"
#include "image/loader.h"
#include "image/thumbnail.h"
#include "metadata/exif.h"
#include "support/crafted_files.h"
#include "support/exif_fixtures.h"
#include "support/temp_dir.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <lcms2.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <png.h>
#include <tiffio.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;
using vornalix::codec::decode_image;
namespace vt = vornalix::testing;

// Gradients in every channel and hard edges, B, G, R.
cv::Mat chart(int width = 61, int height = 37) {
    cv::Mat img(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img.at<cv::Vec3b>(y, x) = {static_cast<uchar>(x * 255 / width), static_cast<uchar>(y * 255 / height),
                                       static_cast<uchar>(x < width / 3 ? 30 : (x * y) % 256)};
    return img;
}

cv::Mat converted(const cv::Mat& bgr, int code, int depth = CV_8U) {
    cv::Mat out;
    cv::cvtColor(bgr, out, code);
    if (depth == CV_16U) out.convertTo(out, CV_16U, 256.7);  // low bytes vary too
    return out;
}

Bytes encode(const std::string& ext, const cv::Mat& img, const std::vector<int>& params = {}) {
    Bytes out;
    EXPECT_TRUE(cv::imencode(ext, img, out, params)) << ext;
    return out;
}

// R, G, B (or palette indices when `palette` is given) as a PNG, optionally
// interlaced and carrying an ICC profile and an EXIF block.
Bytes png_file(const cv::Mat& pixels, const std::vector<png_color>& palette, bool interlaced, const Bytes& icc = {},
               const Bytes& exif = {}) {
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, [](png_structp p, png_bytep d, png_size_t n) {
        auto* o = static_cast<Bytes*>(png_get_io_ptr(p));
        o->insert(o->end(), d, d + n);
    }, nullptr);
    png_set_IHDR(png, info, pixels.cols, pixels.rows, 8, palette.empty() ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_PALETTE,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!icc.empty()) png_set_iCCP(png, info, "icc", 0, icc.data(), static_cast<png_uint_32>(icc.size()));
    if (!exif.empty()) png_set_eXIf_1(png, info, static_cast<png_uint_32>(exif.size()), const_cast<png_bytep>(exif.data()));
    std::vector<png_bytep> rows;
    for (int y = 0; y < pixels.rows; ++y) rows.push_back(const_cast<png_bytep>(pixels.ptr(y)));
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

// R, G, B as a TIFF in the layouts OpenCV's writer does not make.
Bytes tiff_file(const std::string& path, const cv::Mat& rgb, bool planar, bool tiled, int compression,
                int orientation = ORIENTATION_TOPLEFT) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    constexpr int tile = 16;
    for (auto [tag, value] : {std::pair<uint32_t, int>{TIFFTAG_IMAGEWIDTH, rgb.cols}, {TIFFTAG_IMAGELENGTH, rgb.rows},
                              {TIFFTAG_BITSPERSAMPLE, static_cast<int>(rgb.elemSize1() * 8)}, {TIFFTAG_SAMPLESPERPIXEL, 3},
                              {TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB}, {TIFFTAG_COMPRESSION, compression},
                              {TIFFTAG_ORIENTATION, orientation},
                              {TIFFTAG_PLANARCONFIG, planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG}})
        TIFFSetField(tif, tag, value);
    std::vector<cv::Mat> layers{rgb};
    if (planar) cv::split(rgb, layers);
    if (tiled) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, tile);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, tile);
        for (size_t s = 0; s < layers.size(); ++s)
            for (int y = 0; y < rgb.rows; y += tile)
                for (int x = 0; x < rgb.cols; x += tile) {
                    cv::Mat block(tile, tile, layers[s].type(), cv::Scalar::all(0));
                    const cv::Rect r = cv::Rect(x, y, tile, tile) & cv::Rect(0, 0, rgb.cols, rgb.rows);
                    layers[s](r).copyTo(block(cv::Rect(0, 0, r.width, r.height)));
                    TIFFWriteTile(tif, block.data, x, y, 0, static_cast<uint16_t>(s));
                }
    } else {
        for (size_t s = 0; s < layers.size(); ++s)
            for (int y = 0; y < rgb.rows; ++y)
                TIFFWriteScanline(tif, const_cast<uchar*>(layers[s].ptr(y)), y, static_cast<uint16_t>(s));
    }
    TIFFClose(tif);
    return fixtures::read_bytes(path);
}

// C, M, Y, K as a JPEG (libjpeg marks it with Adobe's segment).
Bytes cmyk_jpeg(const cv::Mat& cmyk) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* data = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &data, &size);
    info.image_width = static_cast<JDIMENSION>(cmyk.cols), info.image_height = static_cast<JDIMENSION>(cmyk.rows);
    info.input_components = 4, info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    for (JSAMPROW row; info.next_scanline < info.image_height; jpeg_write_scanlines(&info, &row, 1))
        row = const_cast<uchar*>(cmyk.ptr(static_cast<int>(info.next_scanline)));
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes out(data, data + size);
    std::free(data);
    return out;
}

// A 13-pixel-wide BMP of the given pixel data (7 rows, or 2 run-length ones)
// with a grey-ramp palette of `colours` entries.
Bytes bmp(int bits, int compression, const Bytes& pixels, int colours = 0, std::vector<uint32_t> masks = {},
          bool core = false, bool top_down = false) {
    vt::BmpLayout layout{13, compression == 1 || compression == 2 ? 2 : 7, bits, compression, {}, std::move(masks),
                         core, top_down};
    for (int i = 0; i < colours; ++i)
        layout.palette.push_back({static_cast<uchar>(i * 255 / (colours - 1)), static_cast<uchar>(i * 40 % 256), 90});
    return vt::bmp_bytes(layout, pixels);
}

struct Variant { std::string name; Bytes bytes; };

std::vector<Variant> variants(const std::string& dir) {
    const cv::Mat bgr = chart();
    const cv::Mat rgb = converted(bgr, cv::COLOR_BGR2RGB);
    Bytes cut = encode(".jpg", bgr);
    cut.resize(cut.size() * 2 / 3);
    const Bytes sideways = fixtures::ExifBuilder().short_value(EXIF_IFD_0, EXIF_TAG_ORIENTATION, 6).block();
    Bytes turned = encode(".jpg", bgr);
    vornalix::metadata::insert_app1(turned, sideways);
    cv::Mat cmyk(bgr.size(), CV_8UC4);
    cv::mixChannels(std::vector<cv::Mat>{bgr, converted(bgr, cv::COLOR_BGR2GRAY)}, cmyk, {0, 0, 1, 1, 2, 2, 3, 3});
    cv::Mat indices(bgr.size(), CV_8UC1);
    for (int y = 0; y < indices.rows; ++y)
        for (int x = 0; x < indices.cols; ++x) indices.at<uchar>(y, x) = static_cast<uchar>((x / 3 + y * 5) % 64);
    std::vector<png_color> png_palette;
    for (int i = 0; i < 64; ++i) png_palette.push_back({static_cast<uchar>(i * 4), static_cast<uchar>(255 - i * 3), static_cast<uchar>(i * 7 % 256)});
    const auto index = [](int x, int y) { return static_cast<uint32_t>(x * 3 + y); };
    const auto rows = [](int bits, const std::function<uint32_t(int, int)>& f) { return vt::bmp_rows(13, 7, bits, f); };
    const Bytes rle8{3, 5, 0, 4, 1, 2, 3, 4, 2, 7, 4, 9, 0, 0,  // a run, a literal of four, two runs
                     0, 3, 8, 9, 10, 0, 10, 6, 0, 0, 0, 1};   // an odd literal (padded), a run, end
    const Bytes rle4{5, 0x12, 0, 6, 0x34, 0x56, 0x70, 0, 2, 0xAB, 0, 0, 13, 0xCD, 0, 0, 0, 1};
    return {
        {"jpeg", encode(".jpg", bgr, {cv::IMWRITE_JPEG_QUALITY, 90})},
        {"progressive jpeg", encode(".jpg", bgr, {cv::IMWRITE_JPEG_PROGRESSIVE, 1})},
        {"grey jpeg", encode(".jpg", converted(bgr, cv::COLOR_BGR2GRAY))},
        {"cmyk jpeg", cmyk_jpeg(cmyk)},
        {"turned jpeg", turned},
        {"cut jpeg", cut},
        {"png", encode(".png", bgr)},
        {"rgba png", encode(".png", converted(bgr, cv::COLOR_BGR2BGRA))},
        {"16-bit png", encode(".png", converted(bgr, cv::COLOR_BGR2RGB, CV_16U))},
        {"grey png", encode(".png", converted(bgr, cv::COLOR_BGR2GRAY))},
        {"16-bit grey png", encode(".png", converted(bgr, cv::COLOR_BGR2GRAY, CV_16U))},
        {"bilevel png", encode(".png", converted(bgr, cv::COLOR_BGR2GRAY), {cv::IMWRITE_PNG_BILEVEL, 1})},
        {"palette png", png_file(indices, png_palette, false)},
        {"interlaced png", png_file(rgb, {}, true)},
        {"turned png", png_file(rgb, {}, false, {}, Bytes(sideways.begin() + 6, sideways.end()))},
        {"interlaced palette png", png_file(indices, png_palette, true)},
        {"lzw tiff", encode(".tif", bgr, {cv::IMWRITE_TIFF_COMPRESSION, COMPRESSION_LZW})},
        {"deflate tiff", encode(".tif", bgr, {cv::IMWRITE_TIFF_COMPRESSION, COMPRESSION_ADOBE_DEFLATE})},
        {"plain tiff", encode(".tif", bgr, {cv::IMWRITE_TIFF_COMPRESSION, COMPRESSION_NONE})},
        {"16-bit tiff", encode(".tif", converted(bgr, cv::COLOR_BGR2RGB, CV_16U))},
        {"grey tiff", encode(".tif", converted(bgr, cv::COLOR_BGR2GRAY))},
        {"planar tiff", tiff_file(dir + "/p.tif", rgb, true, false, COMPRESSION_LZW)},
        {"tiled tiff", tiff_file(dir + "/t.tif", rgb, false, true, COMPRESSION_ADOBE_DEFLATE)},
        {"sideways tiff", tiff_file(dir + "/s.tif", rgb, false, false, COMPRESSION_NONE, ORIENTATION_RIGHTTOP)},
        {"16-bit planar tiff", tiff_file(dir + "/p16.tif", converted(bgr, cv::COLOR_BGR2RGB, CV_16U), true, false, COMPRESSION_NONE)},
        {"lossy webp", encode(".webp", bgr, {cv::IMWRITE_WEBP_QUALITY, 80})},
        {"lossless webp", encode(".webp", bgr, {cv::IMWRITE_WEBP_QUALITY, 101})},
        {"alpha webp", encode(".webp", converted(bgr, cv::COLOR_BGR2BGRA), {cv::IMWRITE_WEBP_QUALITY, 101})},
        {"24-bit bmp", encode(".bmp", bgr)},
        {"8-bit bmp", encode(".bmp", converted(bgr, cv::COLOR_BGR2GRAY))},
        {"1-bit bmp", bmp(1, 0, rows(1, [](int x, int y) { return (x + y) % 3 == 0; }), 2)},
        {"4-bit bmp", bmp(4, 0, rows(4, [&](int x, int y) { return index(x, y) % 16; }), 16)},
        {"rle8 bmp", bmp(8, 1, rle8, 16)},
        {"rle4 bmp", bmp(4, 2, rle4, 16)},
        {"16-bit bmp", bmp(16, 0, rows(16, [&](int x, int y) { return index(x, y) * 1237; }))},
        {"565 bmp", bmp(16, 3, rows(16, [&](int x, int y) { return index(x, y) * 1237; }), 0, {0xF800, 0x07E0, 0x001F})},
        {"32-bit bmp", bmp(32, 0, rows(32, [&](int x, int y) { return index(x, y) * 0x3F1D37u; }))},
        {"bit-field 32-bit bmp", bmp(32, 3, rows(32, [&](int x, int y) { return index(x, y) * 0x3F1D37u; }), 0, {0xFF0000, 0xFF00, 0xFF})},
        {"top-down bmp", bmp(24, 0, rows(24, [&](int x, int y) { return index(x, y) * 0x10307u; }), 0, {}, false, true)},
        {"os/2 bmp", bmp(8, 0, rows(8, index), 256, {}, true)},
    };
}

}  // namespace

TEST(CodecRead, EveryVariantDecodesAsOpenCvsColourRead) {
    vornalix::testing::TempDir dir;
    for (const Variant& v : variants(dir.path().string())) {
        const cv::Mat expected = cv::imdecode(v.bytes, cv::IMREAD_COLOR);
        ASSERT_FALSE(expected.empty()) << v.name;
        const cv::Mat got = decode_image(v.bytes, v.name).rgb;
        ASSERT_EQ(got.size(), expected.size()) << v.name;
        EXPECT_EQ(cv::norm(got, converted(expected, cv::COLOR_BGR2RGB), cv::NORM_INF), 0.0) << v.name;
    }
}

namespace {

// A D65 RGB profile with the given primaries and a parametric (type 4) curve.
Bytes rgb_profile(cmsCIExyYTRIPLE primaries, const std::vector<double>& curve) {
    const cmsCIExyY d65{0.3127, 0.3290, 1.0};
    cmsToneCurve* trc = cmsBuildParametricToneCurve(nullptr, 4, curve.data());
    cmsToneCurve* curves[3] = {trc, trc, trc};
    const Bytes out = vt::profile_bytes(cmsCreateRGBProfile(&d65, &primaries, curves));
    cmsFreeToneCurve(trc);
    return out;
}

const std::vector<double> kSrgbCurve{2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};

// Packed pixels converted by Little CMS between two profiles (closed here).
template <class Out>
std::vector<Out> transformed(const cv::Mat& in, cmsHPROFILE from, cmsUInt32Number in_format, cmsHPROFILE to,
                             cmsUInt32Number out_format, size_t per_pixel = 1) {
    cmsHTRANSFORM t = cmsCreateTransform(from, in_format, to, out_format, INTENT_RELATIVE_COLORIMETRIC, 0);
    std::vector<Out> out(in.total() * per_pixel);
    const cv::Mat packed = in.clone();
    cmsDoTransform(t, packed.data, out.data(), static_cast<cmsUInt32Number>(in.total()));
    cmsDeleteTransform(t);
    cmsCloseProfile(from);
    cmsCloseProfile(to);
    return out;
}

std::vector<cmsCIELab> lab(const cv::Mat& srgb) {
    return transformed<cmsCIELab>(srgb, cmsCreate_sRGBProfile(), srgb.depth() == CV_8U ? TYPE_RGB_8 : TYPE_RGB_16,
                                  cmsCreateLab4Profile(nullptr), TYPE_Lab_DBL);
}

cv::Mat in_space(const cv::Mat& srgb, const Bytes& profile) {
    const std::vector<uchar> v = transformed<uchar>(
        srgb, cmsCreate_sRGBProfile(), TYPE_RGB_8,
        cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size())), TYPE_RGB_8, 3);
    return cv::Mat(srgb.size(), CV_8UC3, const_cast<uchar*>(v.data())).clone();
}

// The camera's own JPEG preview of the test RAW file, reduced: a real photograph.
cv::Mat photograph() {
    const vornalix::RawThumbnail thumb = vornalix::read_raw_thumbnail(VORNALIX_TEST_CR2);
    cv::Mat small;
    cv::resize(decode_image(thumb.jpeg, "preview").rgb, small, {320, 213}, 0, 0, cv::INTER_AREA);
    return small;
}

// A CMYK profile whose inks mix as the plain conversion has it: each ink
// takes away its complement, black darkens all three.
Bytes cmyk_profile() {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile(), lab_space = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM to_lab = cmsCreateTransform(srgb, TYPE_RGB_DBL, lab_space, TYPE_Lab_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    cmsStage* clut = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
    cmsStageSampleCLut16bit(clut, [](const cmsUInt16Number in[], cmsUInt16Number out[], void* t) {
        const double k = 1 - in[3] / 65535.0;
        const double rgb[3] = {(1 - in[0] / 65535.0) * k, (1 - in[1] / 65535.0) * k, (1 - in[2] / 65535.0) * k};
        cmsCIELab lab;
        cmsDoTransform(t, rgb, &lab, 1);
        cmsFloat2LabEncodedV2(out, &lab);
        return TRUE;
    }, to_lab, 0);
    cmsPipeline* a2b = cmsPipelineAlloc(nullptr, 4, 3);
    cmsPipelineInsertStage(a2b, cmsAT_BEGIN, clut);
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 2.1);  // a plain 16-bit table
    cmsSetDeviceClass(profile, cmsSigInputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsWriteTag(profile, cmsSigAToB0Tag, a2b);
    cmsPipelineFree(a2b);
    cmsDeleteTransform(to_lab);
    cmsCloseProfile(srgb);
    cmsCloseProfile(lab_space);
    return vt::profile_bytes(profile);
}

}  // namespace

// A CMYK JPEG (Adobe-marked, so its values count ink inverted) converts
// through its profile to the colours that profile describes.
TEST(CodecRead, CmykJpegsConvertThroughTheirProfile) {
    cv::Mat cmyk(24, 40, CV_8UC4);
    cv::randu(cmyk, 0, 256);
    cv::GaussianBlur(cmyk, cmyk, {7, 7}, 2);
    const auto decoded = decode_image(vt::jpeg_with_icc(cmyk_jpeg(cmyk), cmyk_profile()), "cmyk");
    const cv::Mat srgb = vornalix::color_mgmt::to_srgb(decoded);
    ASSERT_EQ(srgb.type(), CV_16UC3);
    const cv::Mat eight = vornalix::color_mgmt::to_8bit(srgb);
    EXPECT_LT(cv::norm(eight, decoded.rgb, cv::NORM_L1) / (static_cast<double>(eight.total()) * 3), 1.0);
    EXPECT_LE(cv::norm(eight, decoded.rgb, cv::NORM_INF), 2.0);
}

// Display P3, Adobe RGB and Rec. 2020 copies of a chart and of a photograph,
// profile embedded, load back to the sRGB original.
TEST(CodecRead, WideGamutCopiesLoadBackToTheirOriginals) {
    const std::vector<std::pair<std::string, Bytes>> profiles{
        {"display p3", rgb_profile({{0.680, 0.320, 1}, {0.265, 0.690, 1}, {0.150, 0.060, 1}}, kSrgbCurve)},
        {"adobe rgb", fixtures::read_bytes("/usr/share/color/icc/colord/AdobeRGB1998.icc")},
        {"rec. 2020", rgb_profile({{0.708, 0.292, 1}, {0.170, 0.797, 1}, {0.131, 0.046, 1}},
                                  {1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081})}};
    vornalix::testing::TempDir dir;
    for (const cv::Mat& original : {converted(chart(), cv::COLOR_BGR2RGB), photograph()}) {
        const std::vector<cmsCIELab> expected = lab(original);
        for (const auto& [name, profile] : profiles) {
            ASSERT_FALSE(profile.empty()) << name;
            const std::string path = dir.file("copy.png");
            fixtures::write_bytes(path, png_file(in_space(original, profile), {}, false, profile));
            const cv::Mat loaded = vornalix::read_standard_srgb(path);
            ASSERT_EQ(loaded.type(), CV_16UC3) << name;
            const std::vector<cmsCIELab> got = lab(loaded);
            cv::Mat1d de(1, static_cast<int>(got.size()));
            for (int i = 0; i < de.cols; ++i) de(i) = cmsCIE2000DeltaE(&expected[i], &got[i], 1, 1, 1);
            EXPECT_LT(cv::mean(de)[0], 1.0) << name;
            EXPECT_LT(cv::norm(de, cv::NORM_INF), 3.0) << name;
        }
    }
}

// A profile that is cut, garbage or sRGB itself leaves the pixels as decoded;
// a JPEG's APP2 chain is read whole.
TEST(CodecRead, UnusableOrSrgbProfilesKeepThePixels) {
    const cv::Mat bgr = chart();
    const Bytes adobe = fixtures::read_bytes("/usr/share/color/icc/colord/AdobeRGB1998.icc");
    EXPECT_EQ(decode_image(vt::jpeg_with_icc(encode(".jpg", bgr), adobe), "tagged").icc, adobe);
    const cv::Mat plain = decode_image(encode(".jpg", bgr), "plain").rgb;
    for (const Bytes& profile : {Bytes(adobe.begin(), adobe.begin() + 200), Bytes(600, 0x5A),
                                 vt::profile_bytes(cmsCreate_sRGBProfile()), rgb_profile({{0.64, 0.33, 1}, {0.30, 0.60, 1}, {0.15, 0.06, 1}}, kSrgbCurve)}) {
        const cv::Mat srgb = vornalix::color_mgmt::to_srgb(decode_image(vt::jpeg_with_icc(encode(".jpg", bgr), profile), "tagged"));
        ASSERT_EQ(srgb.type(), CV_8UC3);
        EXPECT_EQ(cv::norm(srgb, plain, cv::NORM_INF), 0.0);
    }
}

// A version 5 BMP's profile (unless only linked or outside the file) and a
// TIFF's EXIF, even after the pixels where libtiff writes it, come with the pixels.
TEST(CodecRead, BmpProfilesAndTiffExifComeWithThePixels) {
    const Bytes adobe = fixtures::read_bytes("/usr/share/color/icc/colord/AdobeRGB1998.icc");
    Bytes bmp;
    ASSERT_TRUE(vornalix::codec::encode_bmp({chart(), adobe, {}}, bmp));
    EXPECT_EQ(decode_image(bmp, "bmp").icc, adobe);
    // Its colour space made "LINK"; its size past the end (the info header's fields, after the 14-byte file header).
    for (auto [at, value] : {std::pair{14 + 56, 0x4C494E4Bu}, {14 + 116, unsigned(adobe.size()) + 1}}) {
        Bytes changed = bmp;
        std::memcpy(&changed[at], &value, 4);  // little-endian, as here
        EXPECT_TRUE(decode_image(changed, "bmp").icc.empty()) << at;
    }
    vornalix::testing::TempDir dir;
    const std::string path = dir.file("exif.tif");
    tiff_file(path, chart(300, 100), false, false, COMPRESSION_NONE);
    vt::add_tiff_exif(path);
    const Bytes app1 = fixtures::jpeg_with_exif(decode_image(fixtures::read_bytes(path), "tiff").exif);
    VornalixExif got[2]{};
    ASSERT_TRUE(vornalix::metadata::read_exif(app1.data(), app1.size(), got[0]) && vornalix::metadata::read_exif(path, got[1]));
    for (const VornalixExif& e : got) EXPECT_TRUE(e.make == std::string("Maker") && std::abs(e.exposure_time - 0.004) < 1e-7);
}
