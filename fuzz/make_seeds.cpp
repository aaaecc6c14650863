// Writes the seed corpus the fuzz targets start from: small synthetic files
// of every format the library reads (as the tests make them), JPEGs with
// well-formed EXIF, tiny DNGs, and the first 64 KiB of a real camera RAW.
//
//   make_seeds OUTPUT_DIR [CAMERA_RAW]

#include "codec/image_write.h"
#include "support/crafted_files.h"
#include "support/dng_writer.h"
#include "support/exif_fixtures.h"

#include <libexif/exif-tag.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using fixtures::Bytes;

constexpr std::size_t kRawHead = 64 * 1024;

// A small picture with edges and a gradient, so the decoders see real data.
cv::Mat scene_bgr(int width, int height) {
    cv::Mat img(height, width, CV_8UC3);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img.at<cv::Vec3b>(y, x) = {static_cast<unsigned char>(x * 255 / width),
                                       static_cast<unsigned char>(y * 255 / height),
                                       static_cast<unsigned char>(x < width / 2 ? 40 : 220)};
    return img;
}

void encode(const std::string& dir, const std::string& name, const cv::Mat& img,
            const std::vector<int>& params = {}) {
    Bytes bytes;
    if (!cv::imencode(std::filesystem::path(name).extension().string(), img, bytes, params))
        std::fprintf(stderr, "could not encode %s\n", name.c_str());
    else
        fixtures::write_bytes(dir + "/" + name, bytes);
}

Bytes camera_block() {
    fixtures::ExifBuilder b;
    b.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Vornalix")
        .ascii(EXIF_IFD_0, EXIF_TAG_MODEL, "Seed Camera")
        .short_value(EXIF_IFD_0, EXIF_TAG_ORIENTATION, 6)
        .ascii(EXIF_IFD_0, EXIF_TAG_DATE_TIME, "2024:05:01 10:00:00")
        .rationals(EXIF_IFD_EXIF, EXIF_TAG_FOCAL_LENGTH, {{50, 1}})
        .rationals(EXIF_IFD_EXIF, EXIF_TAG_FNUMBER, {{28, 10}})
        .rationals(EXIF_IFD_EXIF, EXIF_TAG_EXPOSURE_TIME, {{1, 250}})
        .rationals(EXIF_IFD_EXIF, EXIF_TAG_APERTURE_VALUE, {{3, 1}})
        .srational(EXIF_IFD_EXIF, EXIF_TAG_SHUTTER_SPEED_VALUE, 8, 1)
        .short_value(EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED_RATINGS, 400)
        .raw(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION, EXIF_FORMAT_LONG, 1, {32, 0, 0, 0})  // little-endian
        .ascii(EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, "2024:05:01 10:00:00")
        .ascii(EXIF_IFD_EXIF, EXIF_TAG_LENS_MODEL, "Seed Lens")
        .rationals(EXIF_IFD_GPS, EXIF_TAG_GPS_LATITUDE, {{48, 1}, {51, 1}, {2400, 100}})
        .ascii(EXIF_IFD_GPS, EXIF_TAG_GPS_LATITUDE_REF, "N")
        .rationals(EXIF_IFD_GPS, EXIF_TAG_GPS_LONGITUDE, {{2, 1}, {21, 1}, {0, 1}})
        .ascii(EXIF_IFD_GPS, EXIF_TAG_GPS_LONGITUDE_REF, "W");
    return b.block();
}

// Profiles for the input-profile target, and JPEGs (in their APP2 chain) and
// BMPs (in a version 5 header) carrying them for the readers.
void write_profiles(const std::string& dir, const Bytes& jpeg, const cv::Mat& rgb) {
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.2);
    const std::vector<std::pair<std::string, Bytes>> profiles{
        {"srgb", vornalix::testing::profile_bytes(cmsCreate_sRGBProfile())},
        {"grey", vornalix::testing::profile_bytes(cmsCreateGrayProfile(cmsD50_xyY(), gamma))},
        {"lab", vornalix::testing::profile_bytes(cmsCreateLab4Profile(nullptr))},
        {"adobergb", fixtures::read_bytes("/usr/share/color/icc/colord/AdobeRGB1998.icc")}};
    cmsFreeToneCurve(gamma);
    for (const auto& [name, profile] : profiles) {
        if (profile.empty()) continue;
        fixtures::write_bytes(dir + "/" + name + ".icc", profile);
        fixtures::write_bytes(dir + "/" + name + "-tagged.jpg", vornalix::testing::jpeg_with_icc(jpeg, profile));
        Bytes bmp;
        if (vornalix::codec::encode_bmp({rgb, profile, {}}, bmp)) fixtures::write_bytes(dir + "/" + name + "-tagged.bmp", bmp);
    }
}

// Every BMP form the reader knows, small.
void write_bmps(const std::string& dir) {
    namespace vt = vornalix::testing;
    const auto value = [](int x, int y) { return static_cast<uint32_t>(x * 2654435761u + y * 40503u); };
    const auto palette = [](vt::BmpLayout layout, int colours) {
        for (int i = 0; i < colours; ++i)
            layout.palette.push_back({static_cast<unsigned char>(i), static_cast<unsigned char>(255 - i), 7});
        return layout;
    };
    const std::vector<std::pair<std::string, vt::BmpLayout>> plain{
        {"1-bit", palette({9, 5, 1}, 2)},        {"4-bit", palette({9, 5, 4}, 16)},
        {"os2", palette({9, 5, 8, 0, {}, {}, true}, 256)}, {"555", {9, 5, 16}},
        {"565", {9, 5, 16, 3, {}, {0xF800, 0x07E0, 0x001F}}}, {"32-bit", {9, 5, 32, 3, {}, {0xFF0000, 0xFF00, 0xFF}}},
        {"top-down", {9, 5, 24, 0, {}, {}, false, true}}};
    for (const auto& [name, layout] : plain) {
        const int depth = layout.bits;
        const Bytes rows = vt::bmp_rows(layout.width, layout.height, depth, [&](int x, int y) {
            return depth < 16 ? value(x, y) % (1u << depth) : value(x, y);
        });
        fixtures::write_bytes(dir + "/" + name + ".bmp", vt::bmp_bytes(layout, rows));
    }
    fixtures::write_bytes(dir + "/rle8.bmp", vt::bmp_bytes(palette({9, 2, 8, 1}, 16),
                                                           {3, 5, 0, 4, 1, 2, 3, 4, 2, 7, 0, 0, 0, 2, 1, 0, 9, 6, 0, 1}));
    fixtures::write_bytes(dir + "/rle4.bmp", vt::bmp_bytes(palette({9, 2, 4, 2}, 16),
                                                           {5, 0x12, 0, 3, 0x34, 0x50, 1, 0xAB, 0, 0, 9, 0xCD, 0, 1}));
}

void write_raw_head(const std::string& dir, const std::string& raw) {
    std::ifstream in(raw, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "no camera RAW at %s; its seed is skipped\n", raw.c_str());
        return;
    }
    Bytes head(kRawHead);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    fixtures::write_bytes(dir + "/camera-head.cr2", head);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIR [CAMERA_RAW]\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    std::filesystem::create_directories(dir);

    const cv::Mat scene = scene_bgr(32, 24);
    cv::Mat scene16, grey, bgra;
    scene.convertTo(scene16, CV_16U, 257.0);
    cv::cvtColor(scene, grey, cv::COLOR_BGR2GRAY);
    cv::cvtColor(scene, bgra, cv::COLOR_BGR2BGRA);

    encode(dir, "scene.jpg", scene);
    encode(dir, "progressive.jpg", scene, {cv::IMWRITE_JPEG_PROGRESSIVE, 1});
    encode(dir, "grey.jpg", grey);
    encode(dir, "scene.png", scene);
    encode(dir, "scene16.png", scene16);
    encode(dir, "grey.png", grey);
    encode(dir, "alpha.png", bgra);
    encode(dir, "scene.tif", scene);
    encode(dir, "scene16.tif", scene16);
    encode(dir, "scene.bmp", scene);
    encode(dir, "grey.bmp", grey);
    encode(dir, "scene.webp", scene);
    encode(dir, "lossless.webp", scene, {cv::IMWRITE_WEBP_QUALITY, 101});

    write_profiles(dir, fixtures::plain_jpeg(), scene);
    encode(dir, "exif.tif", scene);
    vornalix::testing::add_tiff_exif(dir + "/exif.tif");
    write_bmps(dir);

    const Bytes block = camera_block();
    fixtures::write_bytes(dir + "/exif.jpg", fixtures::jpeg_with_exif(block));
    // EXIF behind other leading segments, and twice over.
    Bytes layered{0xFF, 0xD8};
    for (const Bytes& s : {fixtures::segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}),
                           fixtures::segment(0xE2, Bytes(40, 7)), fixtures::segment(0xE1, block),
                           fixtures::segment(0xE1, block), fixtures::segment(0xFE, {'s', 'e', 'e', 'd'})})
        layered.insert(layered.end(), s.begin(), s.end());
    const Bytes plain = fixtures::plain_jpeg();
    layered.insert(layered.end(), plain.begin() + 2, plain.end());
    fixtures::write_bytes(dir + "/layered.jpg", layered);

    const cv::Mat linear = vornalix::testing::make_test_scene(24, 24);
    vornalix::testing::DngOptions options;
    options.orientation = 6;
    vornalix::testing::write_bayer_dng(dir + "/bayer.dng", linear, options);
    cv::Mat linear_grey;
    cv::extractChannel(linear, linear_grey, 1);
    vornalix::testing::write_linear_grey_dng(dir + "/grey.dng", linear_grey);

    if (argc > 2) write_raw_head(dir, argv[2]);
    return 0;
}
