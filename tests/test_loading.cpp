// Reading files. Loading through both routes: standard images read by
// content, RAW files through LibRaw; the bounds on their size, failures that
// keep the previous image, and the 16-bit buffer that holds it. The file
// utilities that need no context: thumbnails and perceptual hashes.

#include "api/boundary.h"
#include "hash/phash.h"
#include "image/ahd_demosaic.h"
#include "image/area_resize.h"
#include "image/arw_decoder.h"
#include "image/image_probe.h"
#include "image/libraw_processor.h"
#include "image/size_bound.h"
#include "image/thumbnail.h"
#include "support/context_access.h"
#include "support/crafted_files.h"
#include "support/dng_writer.h"
#include "support/exif_fixtures.h"
#include "edit_profiles.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <random>
#include <stdexcept>
#include <tuple>
#include <utility>

using vornalix::ImageBuffer;
using vornalix::testing::TempDir;
namespace vt = vornalix::testing;

namespace {

// Everything a failed load must leave alone.
auto load_state(VornalixContext* ctx) {
    return std::make_tuple(static_cast<const void*>(ctx->pipeline.source.mat.data),
                           static_cast<const void*>(ctx->decoder.image.mat.data), ctx->source_path,
                           ctx->params.exposure, ctx->decoder.iso_speed, std::string(ctx->decoder.make),
                           vornalix_get_width(ctx), vornalix_get_height(ctx));
}

// Loads each (path, message) case into a context holding an image and edits:
// each load fails with an error beginning with its message, and keeps the
// earlier image, settings and shot data, which still render.
void expect_failed_loads_keep(VornalixContext* ctx, const std::vector<std::pair<std::string, std::string>>& cases) {
    const auto before = load_state(ctx);
    for (const auto& [path, message] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(vornalix_load_arw(ctx, path.c_str(), 1), -1);
        EXPECT_EQ(std::string(vornalix_last_error(ctx)).rfind(message, 0), 0u) << vornalix_last_error(ctx);
        EXPECT_EQ(load_state(ctx), before);
        EXPECT_FALSE(ctx->processed);
        EXPECT_EQ(vornalix_process(ctx), 0);  // still renders
        ctx->processed = false;
    }
}

cv::Size loaded_size(VornalixContext* ctx) { return {vornalix_get_width(ctx), vornalix_get_height(ctx)}; }

// The extraction result, released through the library's own function.
struct Thumb {
    int code = 1;
    unsigned char* data = reinterpret_cast<unsigned char*>(1);  // must be cleared
    unsigned int size = 1;

    explicit Thumb(const std::string& path) { code = vornalix_extract_thumbnail(path.c_str(), &data, &size); }
    ~Thumb() { vornalix_free_thumb(data); }
    std::vector<unsigned char> bytes() const { return {data, data + size}; }
    cv::Size decoded_size() const { return cv::imdecode(bytes(), cv::IMREAD_COLOR).size(); }
};

struct Hashed {
    int code = 1;
    unsigned long long hash = 0xDEADBEEFull;  // must be overwritten
    explicit Hashed(const std::string& path) { code = vornalix_phash(path.c_str(), &hash); }
};

// A picture with a few large shapes, softened like a photograph.
cv::Mat scene(int seed) {
    cv::RNG rng(seed);
    cv::Mat image(480, 640, CV_8UC3, cv::Scalar(90, 110, 130));
    for (int i = 0; i < 6; ++i)
        cv::circle(image, {rng.uniform(0, 640), rng.uniform(0, 480)}, rng.uniform(40, 160),
                   cv::Scalar(rng.uniform(0, 256), rng.uniform(0, 256), rng.uniform(0, 256)), cv::FILLED);
    cv::GaussianBlur(image, image, cv::Size(), 4.0);
    return image;
}

}  // namespace

// Thin frames whose short side would round to 0 (the rounding of the bound
// itself is pinned by the routes below).
TEST(SizeBound, KeepsEverySideAtLeastOnePixelAndTheLimitKeepsTheLook) {
    EXPECT_EQ(vornalix::bound_long_side(cv::Mat(3000, 1, CV_16UC3), 2000).size(), cv::Size(1, 2000));
    EXPECT_EQ(vornalix::halve(cv::Mat(1, 45, CV_16UC3)).size(), cv::Size(22, 1));  // the RAW route's scale 4
    // Working pixels per pixel of the default bound: exactly 1 at that bound.
    EXPECT_EQ(vornalix::pixel_scale({5000, 3000}, {4096, 2458}, 4096), 1.0f);
    EXPECT_FLOAT_EQ(vornalix::pixel_scale({3504, 2336}, {3504, 2336}, 2000), 1.752f);
    EXPECT_FLOAT_EQ(vornalix::pixel_scale({1200, 800}, {600, 400}, 2000), 0.5f);

    // The size limit chooses the working size of the next load; a development at
    // one size, reduced to another, keeps the look of the development at that size.
    TempDir dir;
    const std::string dng = dir.file("scene.dng");
    ASSERT_TRUE(vt::write_bayer_dng(dng, vt::make_test_scene(1200, 800)));
    auto ctx = make_context();
    const auto develop = [&](int limit, int profile) {
        vornalix_set_size_limit(ctx.get(), limit);
        EXPECT_EQ(vornalix_load_arw(ctx.get(), dng.c_str(), 1), 0) << vornalix_last_error(ctx.get());
        int w = 0, h = 0;
        EXPECT_EQ((std::tuple{vornalix_get_full_size(ctx.get(), &w, &h), w, h}), std::tuple(0, 1200, 800));
        edit_profiles::set_profile(ctx.get(), profile, false);
        EXPECT_EQ(vornalix_process(ctx.get()), 0);  // a crop changes the size
        return preview_of(ctx.get());
    };
    for (auto [profile, min_psnr] : {std::pair{edit_profiles::kTypical, 38.0}, {edit_profiles::kEverything, 32.0}}) {
        const cv::Mat small = develop(600, profile);
        cv::Mat reduced;
        cv::resize(develop(0, profile), reduced, small.size(), 0, 0, cv::INTER_AREA);
        EXPECT_GE(cv::PSNR(reduced, small), min_psnr) << profile;
    }
}

// The library's area reduction stands in for OpenCV's: the same pixels for
// fractional factors (its own work), whole ones, enlarging and other types.
TEST(SizeBound, AreaReductionGivesOpenCvsPixels) {
    cv::RNG random(7);
    struct Case { cv::Size from, to; int type; };
    for (const Case& c : {Case{{3522, 61}, {2000, 34}, CV_16UC4}, Case{{101, 67}, {37, 66}, CV_16UC4},
                          Case{{45, 30}, {1, 1}, CV_16UC4}, Case{{96, 64}, {48, 32}, CV_16UC4},
                          Case{{20, 10}, {30, 15}, CV_16UC4}, Case{{101, 67}, {37, 20}, CV_16UC3}}) {
        cv::Mat image(c.from, c.type);
        random.fill(image, cv::RNG::UNIFORM, 0, 65536);
        cv::Mat theirs, ours;
        cv::resize(image, theirs, c.to, 0, 0, cv::INTER_AREA);
        vornalix::resize_area(image, ours, c.to);
        ASSERT_EQ(ours.size(), c.to);
        EXPECT_EQ(cv::norm(theirs, ours, cv::NORM_INF), 0.0) << c.from << " to " << c.to;
    }
    // By factor, as the RAW route reduces to the bound.
    cv::Mat image(333, 517, CV_16UC4), theirs, ours;
    random.fill(image, cv::RNG::UNIFORM, 0, 65536);
    cv::resize(image, theirs, cv::Size(), 0.568, 0.568, cv::INTER_AREA);
    vornalix::resize_area(image, ours, cv::Size(), 0.568, 0.568);
    EXPECT_EQ(cv::norm(theirs, ours, cv::NORM_INF), 0.0);
}

TEST(ImageProbe, ReadsSignaturesAndHeaderSizes) {
    using vornalix::ImageFormat;
    const cv::Mat img(23, 37, CV_8UC3, cv::Scalar(200, 40, 10));
    for (auto [ext, format] : {std::pair{".jpg", ImageFormat::jpeg}, {".png", ImageFormat::png},
                               {".tif", ImageFormat::tiff}, {".bmp", ImageFormat::bmp},
                               {".webp", ImageFormat::webp}}) {
        std::vector<unsigned char> buf;
        ASSERT_TRUE(cv::imencode(ext, img, buf)) << ext;
        const auto h = vornalix::probe_image_header(buf.data(), buf.size());
        EXPECT_EQ(h.format, format) << ext;
        EXPECT_EQ(cv::Size(h.width, h.height), img.size()) << ext;
        // Every cut of the header is answered without reading past it.
        for (size_t n = 0; n < std::min<size_t>(buf.size(), 64); ++n) vornalix::probe_image_header(buf.data(), n);
    }
}

// A 10000 x 1 PNG strip named .WEBP loads by its content, bounded to 4096
// columns but keeping its one row, in R, G, B order, and resets the settings.
// Unreadable, foreign and oversized files fail with their message and leave the
// previous image, its settings and its shot data as they were.
TEST(StandardRoute, DecodesByContentAndBadFilesKeepThePreviousImage) {
    TempDir dir;
    auto ctx = make_context();
    std::vector<unsigned char> png;
    ASSERT_TRUE(cv::imencode(".png", cv::Mat(1, 10000, CV_8UC3, cv::Scalar(10, 40, 200)), png));  // B, G, R
    for (const std::string& strip : {dir.file("strip.WEBP"), dir.file("strip")}) {  // wrong or no extension
        fixtures::write_bytes(strip, png);
        vornalix_set_exposure(ctx.get(), 1.0f);
        ASSERT_EQ(vornalix_load_arw(ctx.get(), strip.c_str(), 1), 0) << vornalix_last_error(ctx.get());
        EXPECT_EQ(std::tuple(loaded_size(ctx.get()), ctx->params.exposure, ctx->source_path, ctx->decoder.image.empty()),
                  std::tuple(cv::Size(4096, 1), 0.0f, strip, true));
        EXPECT_EQ(ctx->pipeline.source.mat.at<cv::Vec4w>(0, 100), cv::Vec4w(200 * 257, 40 * 257, 10 * 257, 65535));
    }

    const std::string good = dir.file("good.png");
    ASSERT_TRUE(cv::imwrite(good, cv::Mat(48, 64, CV_8UC3, cv::Scalar(200, 40, 10))));
    ASSERT_EQ(vornalix_load_arw(ctx.get(), good.c_str(), 1), 0);
    vornalix_set_exposure(ctx.get(), 0.75f);

    fixtures::write_bytes(dir.file("header-only.JPEG"), fixtures::Bytes(png.begin(), png.begin() + 40));
    vt::BmpLayout huge{15000, 14000, 8, 1, {}, {}};  // RLE8, ending at once: 1 KB claiming 210 megapixels
    huge.palette.assign(256, {90, 90, 90});
    fixtures::write_bytes(dir.file("huge.bmp"), vt::bmp_bytes(huge, {0, 1}));
    // A format OpenCV could decode but the library does not accept.
    ASSERT_TRUE(vt::write_pfm(dir.file("p.png")));
    fixtures::write_bytes(dir.file("garbage.jpg"), {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
    fixtures::write_bytes(dir.file("empty.png"), {});
    std::filesystem::create_directory(dir.file("folder.tif"));
    std::vector<std::pair<std::string, std::string>> cases = {
        {dir.file("huge.bmp"), "image too large (15000 x 14000 pixels, more than the 200-megapixel limit): "}};
    for (const char* name : {"p.png", "garbage.jpg", "empty.png", "header-only.JPEG", "folder.tif", "f\xC3\xA9l.bmp"})
        cases.push_back({dir.file(name), "OpenCV could not read: "});
    for (auto& [path, message] : cases) message += path;
    expect_failed_loads_keep(ctx.get(), cases);

    // An existing file with a non-ASCII name loads.
    const std::string non_ascii = dir.file("\xE5\x86\x99\xE7\x9C\x9F.png");
    std::filesystem::copy_file(good, non_ascii);
    EXPECT_EQ(vornalix_load_arw(ctx.get(), non_ascii.c_str(), 1), 0);
    EXPECT_EQ(ctx->source_path, non_ascii);
    EXPECT_EQ(vornalix_load_arw(ctx.get(), nullptr, 1), -1);
    EXPECT_EQ(vornalix_load_arw(nullptr, good.c_str(), 1), -1);
}

TEST(RawRoute, DecodesDngsAtEveryScaleWithinTheBoundFailuresKeepThePrevious) {
    TempDir dir;
    const std::string dng = dir.file("scene.dng");
    ASSERT_TRUE(vt::write_bayer_dng(dng, vt::make_test_scene(96, 64)));
    auto ctx = make_context();
    for (auto [scale, size] : {std::pair{-3, cv::Size(96, 64)}, {3, {48, 32}}, {9, {24, 16}}, {1, {96, 64}}}) {
        ASSERT_EQ(vornalix_load_arw(ctx.get(), dng.c_str(), scale), 0) << vornalix_last_error(ctx.get());
        EXPECT_EQ(loaded_size(ctx.get()), size) << scale;
    }
    // Decoder and pipeline share one copy of the pixels.
    EXPECT_EQ(ctx->decoder.image.mat.data, ctx->pipeline.source.mat.data);
    // Orientation and colours are pinned by the golden render of the camera file.
    EXPECT_STREQ(ctx->decoder.make, "Vornalix");

    // The long side is bounded to 2000, at half size (2010 x 15) too.
    const std::string long_dng = dir.file("long.DNG");
    ASSERT_TRUE(vt::write_bayer_dng(long_dng, vt::make_test_scene(4020, 30)));
    vornalix::ArwDecoder decoder;
    for (int scale : {1, 2}) {
        decoder.commit(decoder.decode(long_dng, scale));
        EXPECT_EQ(cv::Size(decoder.width, decoder.height), cv::Size(2000, 15));  // 30 x 2000 / 4020 = 14.9
    }

    // A monochrome DNG develops to one colour per pixel: reading it as three
    // would run past the buffer.
    ASSERT_TRUE(vt::write_linear_grey_dng(dng, cv::Mat(48, 64, CV_16UC1, cv::Scalar(20000))));
    decoder.commit(decoder.decode(dng, 1));
    const cv::Vec4w px = decoder.image.mat.at<cv::Vec4w>(20, 30);
    EXPECT_TRUE(px[0] > 30000 && px[0] == px[1] && px[1] == px[2] && px[3] == 65535) << px;

    // Missing, foreign, truncated and oversized RAW files keep the previous image
    // and its shot data; the decoder records the failure and the failed path.
    vt::DngOptions first;
    first.make = "FirstMake";
    ASSERT_TRUE(vt::write_bayer_dng(dng, vt::make_test_scene(64, 48), first));
    ASSERT_EQ(vornalix_load_arw(ctx.get(), dng.c_str(), 1), 0);
    vornalix_set_exposure(ctx.get(), 0.5f);
    ASSERT_EQ(vornalix_process(ctx.get()), 0);
    ctx->processed = false;

    fixtures::write_bytes(dir.file("garbage.cr2"), fixtures::Bytes(5000, 'x'));
    vt::DngOptions huge;
    huge.declared_width = 30000, huge.declared_height = 20000;
    ASSERT_TRUE(vt::write_bayer_dng(dir.file("huge.dng"), vt::make_test_scene(64, 48), huge));
    expect_failed_loads_keep(ctx.get(), {{dir.file("n\xC3\xA4me.cr2"), "LibRaw open_file failed: "},
                                         {dir.file("garbage.cr2"), "LibRaw "},
                                         {dir.file("huge.dng"), "RAW frame too large: 30000 x 20000 pixels"}});
    EXPECT_EQ(ctx->decoder.error, vornalix_last_error(ctx.get()));
    EXPECT_EQ(ctx->decoder.path, dir.file("huge.dng"));  // the one decoder field a failure changes
    EXPECT_EQ(std::pair(ctx->decoder.width, std::string(ctx->decoder.make)), std::pair(64, std::string("FirstMake")));
}

// A mosaic set up by hand in a processor, to run LibRaw's AHD and the
// library's on the same pixels.
class MosaicProcessor : public vornalix::RawProcessor {
public:
    MosaicProcessor(const cv::Mat& sites, unsigned filters) {
        imgdata.sizes.width = imgdata.sizes.iwidth = static_cast<ushort>(sites.cols);
        imgdata.sizes.height = imgdata.sizes.iheight = static_cast<ushort>(sites.rows);
        imgdata.idata.filters = filters;
        imgdata.idata.colors = 3;
        // Strong enough that neighbouring colours differ by more than 16 bits hold.
        const float camera_to_rgb[3][3] = {{4.0f, -3.0f, 0.0f}, {-3.0f, 4.0f, 0.0f}, {0.0f, -0.5f, 1.5f}};
        for (int i = 0; i < 3; ++i)
            for (int c = 0; c < 3; ++c) imgdata.color.rgb_cam[i][c] = camera_to_rgb[i][c];
        imgdata.image = static_cast<ushort(*)[4]>(std::calloc(sites.total(), sizeof *imgdata.image));
        for (int y = 0; y < sites.rows; ++y)
            for (int x = 0; x < sites.cols; ++x) imgdata.image[y * sites.cols + x][FC(y, x)] = sites.at<ushort>(y, x);
    }
    ~MosaicProcessor() { std::free(std::exchange(imgdata.image, nullptr)); }
    cv::Mat demosaiced(bool own) {
        if (own) {
            use_own_ahd();
            callbacks.interpolate_bayer_cb(static_cast<LibRaw*>(this));
        } else {
            ahd_interpolate();
        }
        return cv::Mat(imgdata.sizes.height, imgdata.sizes.width, CV_16UC4, imgdata.image).clone();
    }
};

TEST(RawRoute, OwnAhdGivesLibRawsPixelsForEveryBayerPatternAndSize) {
    std::mt19937 random(5);
    // Smooth colour with edges, and sites of 0 or full scale side by side,
    // whose colour differences are the largest there are.
    const auto scene = [&](cv::Size size, bool extreme) {
        cv::Mat sites(size, CV_16UC1);
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.width; ++x)
                sites.at<ushort>(y, x) = static_cast<ushort>(
                    extreme ? (random() % 2) * 65535 : ((x * 97 + y * 31) % 4000) * 16 + random() % 800);
        return sites;
    };
    // RGGB, BGGR, GRBG, GBRG.
    for (unsigned filters : {0x94949494u, 0x16161616u, 0x61616161u, 0x49494949u})
        for (const cv::Size size : {cv::Size(9, 7), cv::Size(13, 11), cv::Size(530, 37), cv::Size(45, 521)})
            for (bool extreme : {false, true}) {
                SCOPED_TRACE(::testing::Message() << std::hex << filters << std::dec << " " << size << " " << extreme);
                const cv::Mat sites = scene(size, extreme);
                const cv::Mat theirs = MosaicProcessor(sites, filters).demosaiced(false);
                const cv::Mat ours = MosaicProcessor(sites, filters).demosaiced(true);
                EXPECT_EQ(cv::norm(theirs, ours, cv::NORM_INF), 0.0);
            }
    // Patterns other than the 2x2 Bayer one are left to LibRaw.
    EXPECT_FALSE(vornalix::is_plain_bayer(0x94169494u));
    EXPECT_FALSE(vornalix::is_plain_bayer(0x00000000u));
}

TEST(RawRoute, ProcessedImageViewChecksLayoutAndSize) {
    // A fabricated processed image: 4 x 3 pixels, room for three 16-bit colours.
    const size_t payload = 4 * 3 * 3 * 2;
    std::vector<unsigned char> storage(sizeof(libraw_processed_image_t) + payload);
    auto* img = reinterpret_cast<libraw_processed_image_t*>(storage.data());
    img->width = 4, img->height = 3;
    auto* samples = reinterpret_cast<unsigned short*>(img->data);
    for (int i = 0; i < 4 * 3 * 3; ++i) samples[i] = static_cast<unsigned short>(i);
    // `last` is the bottom-right pixel of the copy; zero where the view is refused.
    struct Case { int colors; size_t size; int bits; LibRaw_image_formats type; cv::Vec3w last; };
    for (const Case& c : {Case{3, payload, 16, LIBRAW_IMAGE_BITMAP, {33, 34, 35}},
                          Case{1, 4 * 3 * 2, 16, LIBRAW_IMAGE_BITMAP, {11, 11, 11}},
                          // Refused: short data, four colours, 8 bits when 16 are expected, not a bitmap.
                          Case{3, payload - 1, 16, LIBRAW_IMAGE_BITMAP, {}}, Case{4, payload, 16, LIBRAW_IMAGE_BITMAP, {}},
                          Case{3, payload, 8, LIBRAW_IMAGE_BITMAP, {}}, Case{3, payload, 16, LIBRAW_IMAGE_JPEG, {}}}) {
        SCOPED_TRACE(::testing::Message() << c.colors << " colours, " << c.size << " bytes, " << c.bits << " bits");
        img->colors = c.colors, img->data_size = c.size, img->bits = c.bits, img->type = c.type;
        cv::Mat rgb;
        const auto copy = [&] { rgb = vornalix::copy_processed_image(*img, 16); return 0; };
        EXPECT_EQ(vornalix::api::guarded(nullptr, copy), c.last == cv::Vec3w() ? -1 : 0);
        ASSERT_TRUE(rgb.empty() || rgb.type() == CV_16UC3);
        EXPECT_EQ(rgb.empty() ? cv::Vec3w() : rgb.at<cv::Vec3w>(2, 3), c.last);
    }
}

TEST(ImageBuffer, ConstructsConvertsFillsAndCopies) {
    // 8-bit values scale by 257 (three channels, pinned by loading, gain an opaque alpha).
    EXPECT_EQ(ImageBuffer(cv::Mat(1, 1, CV_8UC4, cv::Scalar(1, 2, 3, 0))).mat.at<cv::Vec4w>(0, 0),
              cv::Vec4w(257, 514, 771, 0));
    cv::Mat rgba16(1, 1, CV_16UC4, cv::Scalar(7, 8, 9, 10));
    EXPECT_NE(ImageBuffer(rgba16).mat.data, rgba16.data);  // a copy, not a view
    EXPECT_TRUE(ImageBuffer(cv::Mat()).empty());
    for (int type : {CV_8UC1, CV_32FC3, CV_16SC3})
        EXPECT_THROW(ImageBuffer(cv::Mat(2, 2, type, cv::Scalar::all(0))), std::invalid_argument) << type;

    // Conversions round and saturate; empty buffers and matrices give and change nothing.
    ImageBuffer b(3, 1);
    b.mat.at<cv::Vec4w>(0, 0) = {65535, 32896, 128, 65535};
    EXPECT_EQ(b.to_8bit().at<cv::Vec4b>(0, 0), cv::Vec4b(255, 128, 0, 255));
    EXPECT_EQ(b.to_8bit_bgr().at<cv::Vec3b>(0, 0), cv::Vec3b(0, 128, 255));  // the encoders' order
    for (const auto& [in, out] : {std::pair{cv::Mat(1, 1, CV_32FC4, cv::Scalar(-0.5, 0.5, 2.0, 1.0)), cv::Vec4w(0, 32768, 65535, 65535)},
                                  {cv::Mat(1, 1, CV_32FC3, cv::Scalar(0.0, 1.0, 0.0)), cv::Vec4w(0, 65535, 0, 65535)}})
        EXPECT_EQ(ImageBuffer::from_float(in).mat.at<cv::Vec4w>(0, 0), out);

    ImageBuffer empty;
    empty.fill(5);
    EXPECT_TRUE(ImageBuffer::from_float(cv::Mat()).empty());
    EXPECT_TRUE(empty.to_8bit().empty() && empty.to_float().empty() && empty.rgb_mat().empty());
    b.set_from_rgb_mat(cv::Mat());  // an empty matrix changes nothing
    EXPECT_FALSE(b.empty());

    // Fill and resize keep the alpha opaque; a copy owns its pixels.
    b.fill(1000);
    EXPECT_EQ(b.resize(8, 5, cv::INTER_NEAREST).mat.at<cv::Vec4w>(4, 7), cv::Vec4w(1000, 1000, 1000, 65535));
    ImageBuffer copy;
    copy.copy_from(b);
    EXPECT_TRUE(copy.mat.data != b.mat.data && cv::norm(copy.mat, b.mat, cv::NORM_INF) == 0);
    copy.copy_from(ImageBuffer());
    EXPECT_TRUE(copy.empty());
}

// Standard images are reduced to 160 pixels on the long side, never enlarged,
// never to zero rows; a RAW file gives the camera's own JPEG at its size, with
// an EXIF segment of the shot inserted after the start marker; a RAW bitmap
// preview is checked before it is read.
TEST(Thumbnail, StandardImagesAreBoundedRawFilesGiveTheCamerasPreviewForeignFilesAreRefused) {
    TempDir dir;
    const std::pair<cv::Size, cv::Size> cases[] = {
        {{4000, 3000}, {160, 120}}, {{120, 80}, {120, 80}}, {{1000, 2}, {160, 1}}};
    for (const auto& [size, expected] : cases) {
        const std::string path = dir.file("in" + std::to_string(size.width) + ".png");
        ASSERT_TRUE(cv::imwrite(path, cv::Mat(size, CV_8UC3, cv::Scalar(20, 90, 200))));
        EXPECT_EQ(Thumb(path).decoded_size(), expected);
    }

    LibRaw raw(0);
    ASSERT_EQ(raw.open_file(VORNALIX_TEST_CR2), LIBRAW_SUCCESS);
    ASSERT_EQ(raw.unpack_thumb(), LIBRAW_SUCCESS);
    const libraw_thumbnail_t& shot = raw.imgdata.thumbnail;
    const std::vector<unsigned char> embedded(shot.thumb, shot.thumb + shot.tlength);
    Thumb thumb(VORNALIX_TEST_CR2);
    ASSERT_EQ(thumb.code, 0);
    const std::vector<unsigned char> bytes = thumb.bytes();
    ASSERT_GT(bytes.size(), embedded.size());
    EXPECT_TRUE(std::equal(embedded.begin() + 2, embedded.end(), bytes.end() - (embedded.size() - 2)));

    // A bitmap thumbnail whose data is shorter than its declared frame (one
    // sample per pixel under a 3-colour type) is refused, not read past its end;
    // the image LibRaw made for it is released (the leak check sees it).
    LibRaw blank(0);
    libraw_thumbnail_t& t = blank.imgdata.thumbnail;
    vornalix::RawThumbnail bitmap;
    for (unsigned length : {40u * 30u, 40u * 30u * 3u}) {
        free(t.thumb);
        t.thumb = static_cast<char*>(std::malloc(length));
        std::memset(t.thumb, 100, length);
        t.tlength = length, t.twidth = 40, t.theight = 30, t.tformat = LIBRAW_THUMBNAIL_BITMAP;
        const bool whole = length == 40u * 30u * 3u;
        const auto take = [&] { vornalix::take_raw_thumbnail(blank, bitmap); return 0; };
        ASSERT_EQ(vornalix::api::guarded(nullptr, take), whole ? 0 : -3);
        EXPECT_EQ(bitmap.rgb.empty(), !whole);
    }
    EXPECT_EQ(bitmap.rgb.at<cv::Vec3b>(29, 39), cv::Vec3b(100, 100, 100));

    // OpenCV would decode the float map; neither utility hands it (the bounds on
    // what is read are the loader's). Every failure leaves no buffer and a zero hash behind.
    const std::string pfm = dir.file("float.png"), dng = dir.file("plain.dng");
    ASSERT_TRUE(vornalix::testing::write_pfm(pfm));
    ASSERT_TRUE(vornalix::testing::write_bayer_dng(dng, vornalix::testing::make_test_scene(64, 48)));
    for (const std::string& path : {pfm, dng, dir.file("missing.cr2")}) {
        SCOPED_TRACE(path);
        const Thumb thumb(path);
        const Hashed hashed(path);
        for (int code : {thumb.code, hashed.code}) {
            if (path == dng)
                EXPECT_TRUE(code == -2 || code == -3) << code;  // no preview in the file
            else
                EXPECT_EQ(code, -1);
        }
        EXPECT_EQ(std::tuple(thumb.data, thumb.size, hashed.hash), std::tuple(nullptr, 0u, 0u));
    }
    unsigned int size = 0;
    EXPECT_EQ(vornalix_extract_thumbnail(dng.c_str(), nullptr, &size), -1);
    vornalix_free_thumb(nullptr);
    unsigned long long untouched = 42;
    EXPECT_EQ(vornalix_phash(nullptr, &untouched), -1);
    EXPECT_EQ(untouched, 42u);
}

// A 32 x 32 picture built from chosen low-frequency coefficients: the bit of
// row r, column c must be 63 - (8 r + c), set exactly for the coefficients
// above the median of the 63 non-DC ones.
TEST(PerceptualHash, BitLayoutFollowsTheCoefficientsFilesOfAllKinds) {
    std::vector<int> ranks(63);
    std::iota(ranks.begin(), ranks.end(), 0);
    std::shuffle(ranks.begin(), ranks.end(), std::mt19937(7));
    cv::Mat spectrum(32, 32, CV_32F, cv::Scalar(0));
    spectrum.at<float>(0, 0) = 128.0f * 32;  // mean grey 128
    uint64_t expected = 1ull << 63;
    for (int i = 1; i < 64; ++i) {
        spectrum.at<float>(i / 8, i % 8) = 3.0f * static_cast<float>(ranks[i - 1] - 31);
        if (ranks[i - 1] > 31) expected |= 1ull << (63 - i);
    }
    cv::Mat pixels, grey;
    cv::idct(spectrum, pixels);
    pixels.convertTo(grey, CV_8U);
    ASSERT_TRUE(cv::checkRange(pixels, true, nullptr, 0.0, 255.0));  // no pixel clipped
    EXPECT_EQ(vornalix::perceptual_hash(grey), expected);

    // The same picture as a JPEG hashes close, another far; a RAW file hashes its
    // embedded preview. Black hashes to 0; a one-row ramp that a reduction to 256
    // pixels would round away sets the top (mean) bit.
    TempDir dir;
    cv::Mat row(1, 600, CV_8UC3);
    for (int x = 0; x < 600; ++x) row.at<cv::Vec3b>(0, x) = cv::Vec3b::all(static_cast<uchar>(x * 255 / 599));
    for (const auto& [name, picture] : {std::pair{"a.png", scene(1)}, {"a.JPG", scene(1)}, {"b.png", scene(2)},
                                        {"black.bmp", cv::Mat(30, 40, CV_8UC3, cv::Scalar::all(0))}, {"thin.png", row}})
        ASSERT_TRUE(cv::imwrite(dir.file(name), picture, {cv::IMWRITE_JPEG_QUALITY, 80}));
    const Hashed png(dir.file("a.png")), jpeg(dir.file("a.JPG")), other(dir.file("b.png")), raw(VORNALIX_TEST_CR2),
        black(dir.file("black.bmp")), thin(dir.file("thin.png"));
    for (const Hashed* h : {&png, &jpeg, &other, &raw, &black, &thin}) ASSERT_EQ(h->code, 0);
    EXPECT_NE(raw.hash, 0u);
    EXPECT_LE(__builtin_popcountll(png.hash ^ jpeg.hash), 4);
    EXPECT_GE(__builtin_popcountll(png.hash ^ other.hash), 12);
    EXPECT_EQ(black.hash, 0u);
    EXPECT_TRUE(thin.hash >> 63);
}
