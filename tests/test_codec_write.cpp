// Writing image files through the format libraries: the same pixels OpenCV's
// writer gave, the output colour profile embedded in every format, and the
// EXIF ColorSpace entry agreeing with it; the profile manager's conversions.

#include "codec/image_read.h"
#include "color/profile_manager.h"
#include "codec/image_write.h"
#include "support/cli_run.h"
#include "support/context_access.h"
#include "support/exif_fixtures.h"
#include "support/temp_dir.h"

#include <lcms2.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <png.h>

#include <gtest/gtest.h>
#include <memory>

using fixtures::Bytes;
namespace codec = vornalix::codec;
using vornalix::color_mgmt::ColorSpace;
using vornalix::color_mgmt::ProfileManager;

namespace {

// Flat patches large enough that their centres escape the chroma
// subsampling and block edges of the lossy formats.
constexpr int kPatch = 32;
constexpr int kCentre = 16;

// Colours as photographs hold them (skin, sky, foliage, flowers, greys), R, G,
// B. No channel comes near 0 in a saturated colour: there one 8-bit level of
// a wider space spans several sRGB levels (4 for the chart cyan 8, 133, 161
// in Adobe RGB), which no writer can avoid.
cv::Mat colour_chart() {
    const cv::Vec3b colours[] = {{115, 82, 68},  {194, 150, 130}, {98, 122, 157}, {87, 108, 67},
                                 {133, 128, 177}, {103, 189, 170}, {214, 126, 44}, {80, 91, 166},
                                 {193, 90, 99},   {94, 60, 108},   {157, 188, 64}, {224, 163, 46},
                                 {56, 61, 150},   {70, 148, 73},   {175, 54, 60},  {187, 86, 149},
                                 {243, 243, 242}, {52, 52, 52}};
    cv::Mat chart(kPatch, kPatch * static_cast<int>(std::size(colours)), CV_16UC3);
    for (size_t i = 0; i < std::size(colours); ++i)
        chart(cv::Rect(static_cast<int>(i) * kPatch, 0, kPatch, kPatch)) = cv::Scalar(colours[i]) * 257;
    return chart;
}

// Uniform noise: every DCT coefficient and filter path has work.
cv::Mat busy_picture(int type, cv::Size size) {
    cv::Mat picture(size, type);
    cv::RNG rng(20261208);
    rng.fill(picture, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(type == CV_16UC3 ? 65536 : 256));
    return picture;
}

Bytes encoded(codec::ImageFormat format, const cv::Mat& rgb, int quality = codec::kDefaultQuality) {
    codec::EncodeRequest request;
    request.pixels = rgb;
    request.quality = quality;
    Bytes out;
    EXPECT_TRUE(codec::encode_image(format, request, out));
    return out;
}

cv::Mat decoded(const Bytes& file) { return cv::imdecode(file, cv::IMREAD_UNCHANGED); }

// The ICC profile in a written file: PNG deflates it into iCCP (inflated by
// the reader), the other formats hold it verbatim (found by its "acsp"
// signature at offset 36).
Bytes embedded_profile(const Bytes& file) {
    if (png_sig_cmp(file.data(), 0, 8) == 0) return codec::decode_image(file, "png").icc;
    const std::string text(reinterpret_cast<const char*>(file.data()), file.size());
    const auto signature = text.find("acsp");
    if (signature == std::string::npos || signature < 36) return {};
    const unsigned char* p = file.data() + signature - 36;
    const size_t size = (size_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
    return Bytes(p, p + size);
}

std::string description(cmsHPROFILE profile) {
    char text[128] = {};
    cmsGetProfileInfoASCII(profile, cmsInfoDescription, "en", "US", text, sizeof text);
    return text;
}

// The file's pixels taken back to sRGB through its own profile, as B, G, R
// patch means in 8-bit levels. The result is float: Little CMS's 16-bit
// output curves lose several levels near black.
cv::Mat srgb_patch_means(const Bytes& file, std::string& profile_name) {
    const Bytes icc = embedded_profile(file);
    cmsHPROFILE own = cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    profile_name = own ? description(own) : "";
    cv::Mat pixels = decoded(file), back(pixels.size(), CV_32FC3);
    const bool wide = pixels.depth() == CV_16U;
    cmsHTRANSFORM to_srgb = own ? cmsCreateTransform(own, wide ? TYPE_BGR_16 : TYPE_BGR_8, srgb, TYPE_BGR_FLT,
                                                      INTENT_RELATIVE_COLORIMETRIC, 0)
                                : nullptr;
    if (to_srgb)
        for (int y = 0; y < pixels.rows; ++y) cmsDoTransform(to_srgb, pixels.ptr(y), back.ptr(y), pixels.cols);
    if (to_srgb) cmsDeleteTransform(to_srgb);
    if (own) cmsCloseProfile(own);
    cmsCloseProfile(srgb);
    cv::Mat means(1, pixels.cols / kPatch, CV_64FC3);
    const int margin = (kPatch - kCentre) / 2;
    for (int i = 0; i < means.cols; ++i) {
        const cv::Scalar mean = cv::mean(back(cv::Rect(i * kPatch + margin, margin, kCentre, kCentre)));
        means.at<cv::Vec3d>(i) = cv::Vec3d(mean[0], mean[1], mean[2]) * 255;
    }
    return means;
}

ContextPtr chart_context() {
    cv::Mat rgba;
    cv::cvtColor(colour_chart(), rgba, cv::COLOR_RGB2RGBA);  // opaque
    return rendered_context(rgba);
}

int export_as(VornalixContext* ctx, const std::string& path) {
    const std::string ext = path.substr(path.rfind('.'));
    if (ext == ".tif") return vornalix_export_tiff(ctx, path.c_str());
    if (ext == ".png") return vornalix_export_png(ctx, path.c_str(), path.find("16") != std::string::npos ? 16 : 8);
    return vornalix_export_jpeg(ctx, path.c_str(), 100, 0, 0);
}

double max_difference(const cv::Mat& a, const cv::Mat& b) { return cv::norm(a, b, cv::NORM_INF); }

// A colourful 16-bit RGB patch well inside the sRGB gamut.
cv::Mat colour_patch16() {
    cv::Mat patch(4, 5, CV_16UC3);
    cv::RNG(20261207).fill(patch, cv::RNG::UNIFORM, cv::Scalar::all(3000), cv::Scalar::all(62000));
    return patch;
}

}  // namespace

TEST(CodecWrite, SamePixelsAsOpenCvsWriter) {
    const cv::Size odd(37, 23);  // partial blocks and odd chroma
    const cv::Mat rgb8 = busy_picture(CV_8UC3, odd), rgb16 = busy_picture(CV_16UC3, odd);
    cv::Mat bgr8, bgr16;
    for (auto [rgb, bgr] : {std::pair{&rgb8, &bgr8}, {&rgb16, &bgr16}}) cv::cvtColor(*rgb, *bgr, cv::COLOR_RGB2BGR);
    for (int quality : {1, 50, 92, 100}) {
        Bytes reference;
        ASSERT_TRUE(cv::imencode(".jpg", bgr8, reference, {cv::IMWRITE_JPEG_QUALITY, quality}));
        EXPECT_EQ(cv::norm(decoded(encoded(codec::ImageFormat::jpeg, rgb8, quality)), decoded(reference),
                           cv::NORM_INF), 0)
            << quality;
    }
    // Lossless formats give back exactly what they were given.
    for (const auto& [format, rgb, bgr] : {std::tuple{codec::ImageFormat::png, rgb8, bgr8},
                                           std::tuple{codec::ImageFormat::png, rgb16, bgr16},
                                           std::tuple{codec::ImageFormat::tiff, rgb16, bgr16},
                                           std::tuple{codec::ImageFormat::webp, rgb8, bgr8},
                                           std::tuple{codec::ImageFormat::bmp, rgb8, bgr8}}) {
        const cv::Mat back = decoded(encoded(format, rgb));
        EXPECT_EQ(std::pair(back.type(), cv::norm(back, bgr, cv::NORM_INF)), std::pair(bgr.type(), 0.0)) << int(format);
    }
}

// Every format and profile: the file names its profile, and its pixels taken
// back to sRGB through that profile land on the sRGB export's: every patch
// within 1 level (2 for ProPhoto in 8 bits) where the format is lossless; on
// average where JPEG rounds through 8-bit YCbCr in both files.
TEST(CodecWrite, EveryFileCarriesTheProfileOfItsPixelsChosenByNameOnTheCommandLine) {
    struct Profile { int id; const char* description; };
    const Profile profiles[] = {{VORNALIX_PROFILE_SRGB, "sRGB"},
                                {VORNALIX_PROFILE_ADOBE_RGB, "Adobe RGB (1998)"},
                                {VORNALIX_PROFILE_DISPLAY_P3, "Display P3"},
                                {VORNALIX_PROFILE_PROPHOTO, "ProPhoto RGB"}};
    struct File { const char* name; bool sixteen_bits, lossy; };
    const File files[] = {{"a.jpg", false, true}, {"a.png", false, false}, {"a16.png", true, false},
                          {"a.tif", true, false}, {"a.webp", false, false}, {"a.bmp", false, false}};
    vornalix::testing::TempDir dir;
    auto ctx = chart_context();
    for (const File& file : files) {
        cv::Mat srgb_means;
        for (const Profile& profile : profiles) {
            ASSERT_EQ(vornalix_set_output_profile(ctx.get(), profile.id), 0);
            ASSERT_EQ(export_as(ctx.get(), dir.file(file.name)), 0) << file.name;
            std::string embedded;
            const cv::Mat means = srgb_patch_means(fixtures::read_bytes(dir.file(file.name)), embedded);
            EXPECT_EQ(embedded, profile.description) << file.name;
            if (profile.id == VORNALIX_PROFILE_SRGB) srgb_means = means;
            const double off = file.lossy ? cv::norm(means, srgb_means, cv::NORM_L1) / (3 * means.cols)
                                          : cv::norm(means, srgb_means, cv::NORM_INF);
            const bool coarse = profile.id == VORNALIX_PROFILE_PROPHOTO && !file.sixteen_bits;
            EXPECT_LE(off, coarse ? 2.0 : 1.0) << file.name << " " << profile.description;
        }
    }
    EXPECT_EQ(vornalix_set_output_profile(ctx.get(), 4), -1);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "unknown output profile");

    // The command line chooses the profile by name.
    ASSERT_TRUE(cv::imwrite(dir.file("in.png"), colour_chart()));
    const std::string out = dir.file("out.tif");
    ASSERT_EQ(vornalix::testing::run_cli("develop " + dir.file("in.png") + " -o " + out + " --profile prophoto").status, 0);
    std::string embedded;
    srgb_patch_means(fixtures::read_bytes(out), embedded);
    EXPECT_EQ(embedded, "ProPhoto RGB");
}

TEST(CodecWrite, ExifColorSpaceAgreesAndOtherExtensionsWriteNothing) {
    vornalix::testing::TempDir dir;
    auto ctx = chart_context();
    fixtures::ExifBuilder camera;
    camera.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Maker").short_value(EXIF_IFD_EXIF, EXIF_TAG_COLOR_SPACE, 1);
    fixtures::write_bytes(dir.file("camera.jpg"), fixtures::jpeg_with_exif(camera.block()));
    ctx->source_path = dir.file("camera.jpg");
    for (const auto& [profile, expected] : {std::pair{VORNALIX_PROFILE_ADOBE_RGB, 0xFFFF},
                                            std::pair{VORNALIX_PROFILE_SRGB, 1}}) {
        ASSERT_EQ(vornalix_set_output_profile(ctx.get(), profile), 0);
        ASSERT_EQ(vornalix_export_jpeg(ctx.get(), dir.file("out.jpg").c_str(), 90, 0, 1), 0);
        const Bytes app1 = fixtures::segments_with_marker(fixtures::read_bytes(dir.file("out.jpg")), 0xE1).at(0);
        std::unique_ptr<ExifData, void (*)(ExifData*)> data(exif_data_new_from_data(app1.data(), app1.size()),
                                                            exif_data_unref);
        ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_EXIF], EXIF_TAG_COLOR_SPACE);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(exif_get_short(entry->data, exif_data_get_byte_order(data.get())), expected);
    }

    // eXIf, EXIF chunk, EXIF directory; PNG and TIFF keep it only when asked.
    camera.rationals(EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_TIME, {{1, 400}});
    fixtures::write_bytes(dir.file("camera.jpg"), fixtures::jpeg_with_exif(camera.block()));
    ASSERT_EQ(vornalix_export_png(ctx.get(), dir.file("plain.png").c_str(), 8), 0);
    ASSERT_EQ(vornalix_set_keep_exif(ctx.get(), 1), 0);
    ASSERT_EQ(vornalix_export_png(ctx.get(), dir.file("out.png").c_str(), 16), 0);
    ASSERT_EQ(vornalix_export_tiff(ctx.get(), dir.file("out.tif").c_str()), 0);
    ASSERT_EQ(vornalix_export_jpeg(ctx.get(), dir.file("out.webp").c_str(), 90, 0, 1), 0);
    for (const auto& [name, kept] : {std::pair{"plain.png", false}, {"out.png", true}, {"out.webp", true}}) {
        const Bytes file = fixtures::read_bytes(dir.file(name));
        EXPECT_EQ(std::string(file.begin(), file.end()).find("Maker") != std::string::npos, kept) << name;
    }
    auto loaded = make_context();  // the TIFF's EXIF directory, read back
    VornalixExif exif{};
    ASSERT_EQ(vornalix_load_arw(loaded.get(), dir.file("out.tif").c_str(), 1), 0);
    ASSERT_EQ(vornalix_get_exif(loaded.get(), &exif), 0);
    EXPECT_STREQ(exif.make, "Maker");
    EXPECT_FLOAT_EQ(exif.exposure_time, 1 / 400.0f);

    vornalix::testing::TempDir empty;
    for (const char* name : {"x.ppm", "x.exr", "x.jp2", "x"}) {
        EXPECT_EQ(vornalix_export_jpeg(ctx.get(), empty.file(name).c_str(), 90, 0, 0), -1) << name;
        EXPECT_STREQ(vornalix_last_error(ctx.get()), "JPEG write failed");
        EXPECT_EQ(vornalix_export_png(ctx.get(), empty.file(name).c_str(), 16), -1) << name;
        EXPECT_STREQ(vornalix_last_error(ctx.get()), "PNG write failed");
    }
    EXPECT_TRUE(fixtures::file_names(empty).empty());
}

// Signed depths and one or two channels (an RGB row format would run past the row).
TEST(ProfileManager, ConvertsRefusesAndAppliesCameraProfiles) {
    ProfileManager pm;
    for (int type : {CV_16SC3, CV_8UC1, CV_16UC2}) {
        cv::Mat image(2, 3, type, cv::Scalar::all(9));
        EXPECT_FALSE(pm.convert(image, ColorSpace::AdobeRGB, ColorSpace::sRGB));
        EXPECT_EQ(pm.error_message, type == CV_16SC3 ? "Unsupported image depth for colour conversion"
                                                     : "Unsupported channel count for colour conversion");
        EXPECT_EQ(max_difference(image, cv::Mat(2, 3, type, cv::Scalar::all(9))), 0.0);
    }

    // Float pixels go through lcms2 unquantised, so a round trip comes back
    // within one 8-bit level (sRGB lies inside the AdobeRGB gamut); alpha stays.
    // Unknown spaces are taken as sRGB.
    cv::Mat image;
    colour_patch16().convertTo(image, CV_32F, 1.0 / 65535);
    cv::merge(std::vector<cv::Mat>{image, cv::Mat(image.size(), CV_32F, cv::Scalar(0.3f))}, image);
    const cv::Mat original = image.clone();
    ASSERT_TRUE(pm.convert(image, ColorSpace::sRGB, ColorSpace::AdobeRGB));
    EXPECT_GT(max_difference(image, original), 1.0 / 255);
    ASSERT_TRUE(pm.convert(image, ColorSpace::AdobeRGB, ColorSpace::sRGB));
    EXPECT_LE(max_difference(image, original), 1.0 / 255);
    EXPECT_EQ(image.at<cv::Vec4f>(3, 4)[3], 0.3f);

    cv::Mat patch = colour_patch16();
    ASSERT_TRUE(pm.convert(patch, static_cast<ColorSpace>(7), ColorSpace::sRGB));
    EXPECT_LE(max_difference(patch, colour_patch16()), 2.0);

    const std::string missing = "/nonexistent/camera.icc";
    EXPECT_FALSE(pm.load_camera_profile(missing) || pm.error_message != "Failed to load camera ICC profile: " + missing);

    // Profiles as the library serialises them, loaded back as camera profiles.
    vornalix::testing::TempDir dir;
    for (auto space : {ColorSpace::ProPhotoRGB, ColorSpace::AdobeRGB}) {
        fixtures::write_bytes(dir.file("camera.icc"), pm.get_icc_bytes(space));
        ASSERT_TRUE(pm.load_camera_profile(dir.file("camera.icc")));  // the leak check sees the first one closed
    }
    cv::Mat camera = colour_patch16(), expected = camera.clone();
    ASSERT_TRUE(pm.apply_camera_profile(camera));
    ASSERT_TRUE(pm.convert(expected, ColorSpace::AdobeRGB, ColorSpace::sRGB));
    // lcms2's 16-bit transform against its float one: they part by up to
    // ~17 of 65,535 on random colours, far below one 8-bit level (257).
    EXPECT_LE(max_difference(camera, expected), 32.0);

    // 8-bit rows are half as long as the 16-bit format the transform would use.
    cv::Mat bytes(2, 2, CV_8UC4, cv::Scalar(10, 20, 30, 40));
    EXPECT_FALSE(pm.apply_camera_profile(bytes) || pm.error_message != "Unsupported image depth for camera profile");
    EXPECT_EQ(bytes.at<cv::Vec4b>(1, 1), cv::Vec4b(10, 20, 30, 40));

    EXPECT_FALSE(pm.load_camera_profile(missing) || pm.camera_profile);  // a failed load drops the earlier profile
}
