// EXIF and exports. EXIF read into the C record (field sources, fallbacks,
// malformed entries) and the APP1 segment of JPEG files (copy, strip and write
// at the byte level, on well-formed, truncated and foreign files); exports and
// histograms of the rendered result (formats, bit depths, EXIF, the rendering
// rules) and files that must survive a failed write. Every file the library
// writes goes through a temporary beside the target: when the disk fills
// part-way through (simulated with a file-size limit), the existing target
// keeps every byte and no temporary is left in the folder.

#include "metadata/exif.h"
#include "metadata/exif_source.h"
#include "output/file_io.h"
#include "support/context_access.h"
#include "support/exif_fixtures.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <climits>
#include <cmath>
#include <csignal>
#include <cstring>
#include <functional>
#include <numeric>
#include <stdexcept>
#include <tuple>

#include <sys/resource.h>

using fixtures::Bytes;
using fixtures::ExifBuilder;
using vornalix::testing::TempDir;
namespace md = vornalix::metadata;

namespace {

constexpr ExifIfd kIfd0 = EXIF_IFD_0;
constexpr ExifIfd kExif = EXIF_IFD_EXIF;
constexpr ExifIfd kGps = EXIF_IFD_GPS;

VornalixExif read_block(const TempDir& dir, const ExifBuilder& b) {
    const std::string path = dir.file("in.jpg");
    fixtures::write_bytes(path, fixtures::jpeg_with_exif(b.block()));
    VornalixExif out;
    EXPECT_TRUE(md::read_exif(path, out));
    return out;
}

ContextPtr flat_context(unsigned short r, unsigned short g, unsigned short b, int w = 8, int h = 6) {
    return rendered_context(cv::Mat(h, w, CV_16UC4, cv::Scalar(r, g, b, 65535)));
}

using Writer = std::pair<const char*, std::function<bool(const std::string&)>>;

// Runs each writer against an existing file holding `original` under a
// 1 KB file-size limit: each must fail and leave the folder exactly as it was.
void expect_failed_writes_leave_target(const Bytes& original, const std::vector<Writer>& writers) {
    constexpr rlim_t kLimit = 1024;
    ASSERT_GT(original.size(), kLimit);
    for (const auto& [name, write] : writers) {
        SCOPED_TRACE(name);
        TempDir dir;
        const std::string target = dir.file(name);
        fixtures::write_bytes(target, original);
        // Writes beyond the limit fail with EFBIG (and no signal) while it holds.
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limited{kLimit, saved.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limited);
        const bool written = write(target);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
        EXPECT_FALSE(written);
        EXPECT_EQ(fixtures::read_bytes(target), original);
        EXPECT_EQ(fixtures::file_names(dir), std::vector<std::string>{name});
    }
}

}  // namespace

TEST(ExifRead, FieldsFromTheirTagsApexFallbacksAndGps) {
    TempDir dir;
    ExifBuilder b;
    // Over-long text is cut to the field and terminated.
    b.ascii(kIfd0, EXIF_TAG_MAKE, std::string(100, 'M')).ascii(kExif, EXIF_TAG_LENS_MODEL, std::string(200, 'L'))
        .rationals(kExif, EXIF_TAG_FNUMBER, {{28, 10}})
        .rationals(kExif, EXIF_TAG_EXPOSURE_TIME, {{1, 250}})
        .rationals(kExif, EXIF_TAG_APERTURE_VALUE, {{8, 1}})  // ignored: FNumber wins
        .short_value(kExif, EXIF_TAG_ISO_SPEED_RATINGS, 400)
        .ascii(kExif, EXIF_TAG_DATE_TIME_ORIGINAL, "2021:05:06 07:08:09")
        .ascii(kIfd0, EXIF_TAG_DATE_TIME, "1999:01:01 00:00:00")
        .short_value(kIfd0, EXIF_TAG_ORIENTATION, 6)
        .short_value(kExif, EXIF_TAG_PIXEL_X_DIMENSION, 640)
        .raw(kExif, EXIF_TAG_PIXEL_Y_DIMENSION, EXIF_FORMAT_LONG, 1, {0xE0, 1, 0, 0})  // 480, little-endian
        // West is negative, a missing reference counts as north, a zero denominator as 0.
        .rationals(kGps, EXIF_TAG_GPS_LATITUDE, {{48, 1}, {51, 1}, {2400, 100}})
        .ascii(kGps, EXIF_TAG_GPS_LONGITUDE_REF, "W").rationals(kGps, EXIF_TAG_GPS_LONGITUDE, {{2, 1}, {21, 1}, {0, 0}});
    const VornalixExif e = read_block(dir, b);
    EXPECT_EQ(std::tuple(std::string(e.make), std::string(e.lens), std::string(e.datetime)),
              std::tuple(std::string(63, 'M'), std::string(127, 'L'), std::string("2021:05:06 07:08:09")));
    EXPECT_EQ(std::tuple(e.aperture, e.exposure_time, e.iso, e.orientation, e.width, e.height),
              std::tuple(2.8f, 0.004f, 400, 6, 640, 480));
    EXPECT_NEAR(e.gps_latitude, 48.0 + 51.0 / 60.0 + 24.0 / 3600.0, 1e-9);
    EXPECT_NEAR(e.gps_longitude, -(2.0 + 21.0 / 60.0), 1e-9);

    // APEX values stand in for missing FNumber and ExposureTime, DateTime for
    // DateTimeOriginal; a zero denominator gives 2^0 = 1 for an APEX value and 0
    // for a direct one.
    ExifBuilder apex, apex_zero, direct_zero;
    apex.rationals(kExif, EXIF_TAG_APERTURE_VALUE, {{4, 1}}).srational(kExif, EXIF_TAG_SHUTTER_SPEED_VALUE, -2, 1)
        .ascii(kIfd0, EXIF_TAG_DATE_TIME, "1999:01:01 00:00:00");
    const VornalixExif a = read_block(dir, apex);
    EXPECT_EQ(std::tuple(a.aperture, a.exposure_time, std::string(a.datetime)),
              std::tuple(4.0f, 4.0f, std::string("1999:01:01 00:00:00")));  // 1 / 2^-2 seconds
    apex_zero.rationals(kExif, EXIF_TAG_APERTURE_VALUE, {{4, 0}}).srational(kExif, EXIF_TAG_SHUTTER_SPEED_VALUE, 8, 0);
    direct_zero.rationals(kExif, EXIF_TAG_FNUMBER, {{28, 0}}).rationals(kExif, EXIF_TAG_EXPOSURE_TIME, {{1, 0}});
    for (const auto& [block, sum] : {std::pair{&apex_zero, 2.0f}, {&direct_zero, 0.0f}}) {
        const VornalixExif z = read_block(dir, *block);
        EXPECT_EQ(z.aperture + z.exposure_time, sum);
    }
}

// Entries whose stored format or size does not match are never read at a
// fixed width (the sanitizer build sees any over-read); they count as absent.
TEST(ExifRead, MalformedEntriesMissingExifAndTheDecoderFallback) {
    TempDir dir;
    ExifBuilder b;
    b.raw(kExif, EXIF_TAG_FOCAL_LENGTH, EXIF_FORMAT_BYTE, 1, {50})
        .raw(kExif, EXIF_TAG_ISO_SPEED_RATINGS, EXIF_FORMAT_ASCII, 1, {'4'})
        .rationals(kExif, EXIF_TAG_APERTURE_VALUE, {{300, 1}})     // 2^150: beyond float
        .srational(kExif, EXIF_TAG_SHUTTER_SPEED_VALUE, -300, 1)  // 1/2^-300 overflows
        .rationals(kGps, EXIF_TAG_GPS_LATITUDE, {{48, 1}, {51, 1}});  // two of three
    const VornalixExif m = read_block(dir, b);
    EXPECT_EQ(m.focal_length + m.aperture + m.exposure_time + static_cast<float>(m.iso), 0.0f);
    EXPECT_TRUE(std::isnan(m.gps_latitude));

    // An entry claiming more values than its bytes hold is not read either.
    unsigned char three[3] = {1, 0, 0};
    ExifEntry short_entry{EXIF_TAG_FNUMBER, EXIF_FORMAT_RATIONAL, 1, three, sizeof three, nullptr, nullptr};
    EXPECT_FALSE(md::entry_holds(&short_entry, EXIF_FORMAT_RATIONAL, 1));
    short_entry = {EXIF_TAG_FNUMBER, EXIF_FORMAT_RATIONAL, 1, nullptr, 0, nullptr, nullptr};
    EXPECT_FALSE(md::entry_holds(&short_entry, EXIF_FORMAT_RATIONAL, 1));

    // Without EXIF the record is cleared; the C entry point then takes what the
    // RAW decoder kept.
    fixtures::write_bytes(dir.file("plain.jpg"), fixtures::plain_jpeg());
    fixtures::write_bytes(dir.file("garbage.jpg"), {0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF, 'E', 'x', 'i', 'f'});
    VornalixExif e;
    for (const char* name : {"plain.jpg", "garbage.jpg", "missing.jpg"}) {
        std::memset(&e, 0x5A, sizeof e);
        EXPECT_FALSE(md::read_exif(dir.file(name), e)) << name;
        EXPECT_EQ(e.make[0] + e.iso, 0);
        EXPECT_TRUE(std::isnan(e.gps_latitude));
    }

    auto ctx = make_context();
    EXPECT_EQ(vornalix_get_exif(ctx.get(), &e), -1);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "no file loaded");
    ctx->source_path = dir.file("plain.jpg");
    auto& d = ctx->decoder;
    std::memset(d.make, 'K', sizeof d.make);  // no terminator: at most 63 characters are taken
    d.shutter = 0.5f;
    d.flip = 6;
    // An ISO beyond the int range is clamped, not converted out of range.
    for (const auto& [iso, expected] : {std::pair{99.9f, 99}, {1e12f, INT_MAX}, {std::nanf(""), 0}}) {
        d.iso_speed = iso;
        ASSERT_EQ(vornalix_get_exif(ctx.get(), &e), 0);
        EXPECT_EQ(std::tuple(std::string(e.make), e.iso, e.exposure_time, e.orientation),
                  std::tuple(std::string(63, 'K'), expected, 0.5f, 6));
    }
}

TEST(ExifCopy, ReplacesLeadingAppSegmentsRefusalsChangeNothingRawBlocksFitAJpeg) {
    TempDir dir;
    const std::string src = dir.file("src.jpg"), dst = dir.file("dst.jpg");
    fixtures::write_bytes(src, fixtures::jpeg_with_exif(fixtures::camera_block()));
    const Bytes plain = fixtures::plain_jpeg();  // begins with a JFIF APP0
    fixtures::write_bytes(dst, plain);
    ASSERT_TRUE(md::copy_exif(src, dst));
    const Bytes out = fixtures::read_bytes(dst);
    ASSERT_EQ(Bytes(out.begin(), out.begin() + 4), (Bytes{0xFF, 0xD8, 0xFF, 0xE1}));
    const auto app1 = fixtures::segments_with_marker(out, 0xE1);
    ASSERT_EQ(app1.size(), 1u);
    // Everything behind the replaced APP0 is the written picture, byte for byte.
    const size_t app0_end = 4 + ((size_t(plain[4]) << 8) | plain[5]);
    const Bytes rest(plain.begin() + app0_end, plain.end());
    EXPECT_EQ(Bytes(out.begin() + 4 + app1[0].size() + 2, out.end()), rest);
    // What the block says once copied (upright orientation) is the export tests' concern.

    // An existing APP1 is replaced too, but one behind an APP2 (XMP, say) is kept.
    fixtures::write_bytes(dst, fixtures::jpeg_with_exif(ExifBuilder().ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Old").block()));
    ASSERT_TRUE(md::copy_exif(src, dst));
    EXPECT_EQ(fixtures::segments_with_marker(fixtures::read_bytes(dst), 0xE1).size(), 1u);
    const Bytes xmp(40, 'x');
    fixtures::write_bytes(dst, fixtures::concat({{0xFF, 0xD8}, fixtures::segment(0xE2, Bytes(10, 'i')),
                                                 fixtures::segment(0xE1, xmp), rest}));
    ASSERT_TRUE(md::copy_exif(src, dst));
    const auto both = fixtures::segments_with_marker(fixtures::read_bytes(dst), 0xE1);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[1], xmp);

    // Refused copies and strips leave every file as it was: a source without
    // EXIF, a PNG or missing target, and an APP1 whose length runs past the end
    // (as source or as target).
    const std::string bare = dir.file("plain.jpg"), png = dir.file("a.png"), cut = dir.file("cut.jpg");
    const std::pair<std::string, Bytes> files[] = {
        {src, fixtures::read_bytes(src)}, {bare, plain}, {png, {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0}},
        {cut, fixtures::concat({{0xFF, 0xD8, 0xFF, 0xE1, 0x40, 0x00}, Bytes(20, 0)})}};
    for (const auto& [path, bytes] : files) fixtures::write_bytes(path, bytes);
    for (const auto& [source, target] : {std::pair{bare, bare}, {src, png}, {src, cut}, {cut, bare},
                                         {src, dir.file("missing.jpg")}})
        EXPECT_FALSE(md::copy_exif(source, target)) << source << " -> " << target;
    EXPECT_FALSE(md::strip_exif(cut));
    for (const auto& [path, bytes] : files) EXPECT_EQ(fixtures::read_bytes(path), bytes) << path;
    // No temporaries left.
    EXPECT_EQ(fixtures::file_names(dir), (std::vector<std::string>{"a.png", "cut.jpg", "dst.jpg", "plain.jpg", "src.jpg"}));

    // The RAW file's TIFF structure becomes a block a JPEG can carry: camera
    // metadata kept, the RAW's image-structure tags gone.
    const std::string developed = dir.file("developed.jpg");
    fixtures::write_bytes(developed, plain);
    ASSERT_TRUE(md::copy_exif(VORNALIX_TEST_CR2, developed));
    const Bytes block = fixtures::segments_with_marker(fixtures::read_bytes(developed), 0xE1).at(0);
    ExifData* data = exif_data_new_from_data(block.data(), static_cast<unsigned>(block.size()));
    ASSERT_TRUE(data);
    for (ExifTag tag : {EXIF_TAG_STRIP_OFFSETS, EXIF_TAG_IMAGE_WIDTH})
        EXPECT_FALSE(exif_content_get_entry(data->ifd[EXIF_IFD_0], tag));
    exif_data_unref(data);
    VornalixExif e;
    ASSERT_TRUE(md::read_exif(developed, e));
    // The exposure time comes from the EXIF sub-IFD.
    EXPECT_EQ(std::tuple(std::string(e.model), e.exposure_time, std::string(e.datetime), e.orientation),
              std::tuple(std::string("Canon EOS 30D"), 1.0f / 400.0f, std::string("2009:07:21 13:03:20"), 1));
}

TEST(ExifStrip, DropsEveryApp1BeforeTheScanTruncatedFilesAreNeverDamaged) {
    TempDir dir;
    const Bytes app0 = fixtures::segment(0xE0, {'J', 'F', 'I', 'F', 0});
    const Bytes tables =
        fixtures::concat({fixtures::segment(0xDB, Bytes(65, 3)), fixtures::segment(0xDA, Bytes(10, 6))});
    // Entropy-coded data that happens to begin like an APP1 segment.
    const Bytes scan{0xFF, 0xE1, 0x00, 0x04, 0x11, 0x22, 0x33, 0xFF, 0x00, 0x44, 0xFF, 0xD9};
    const std::string path = dir.file("s.jpg");
    fixtures::write_bytes(path, fixtures::concat({{0xFF, 0xD8}, app0, fixtures::segment(0xE1, fixtures::camera_block()),
                                                  fixtures::segment(0xE1, Bytes(20, 'x')), tables, scan}));
    ASSERT_TRUE(md::strip_exif(path));
    EXPECT_EQ(fixtures::read_bytes(path), fixtures::concat({{0xFF, 0xD8}, app0, tables, scan}));
    Bytes bare{0xFF, 0xD8, 0xFF, 0xD9};
    ASSERT_TRUE(md::strip_app1(bare));
    EXPECT_EQ(bare, (Bytes{0xFF, 0xD8, 0xFF, 0xD9}));

    // Every prefix of a real file: no walk reads past the end, and a refused
    // rewrite leaves the file as it was (arbitrary bytes are the fuzz target's).
    const Bytes block = fixtures::camera_block();
    const Bytes full = fixtures::jpeg_with_exif(block);
    for (size_t n = 0; n <= full.size(); ++n) {
        const Bytes prefix(full.begin(), full.begin() + n);
        Bytes a = prefix, b = prefix;
        if (!md::insert_app1(a, block)) { EXPECT_EQ(a, prefix); }
        if (!md::strip_app1(b)) { EXPECT_EQ(b, prefix); }
    }
    // Blocks the length field cannot carry (it would wrap to 0) or empty ones.
    Bytes jpeg = fixtures::plain_jpeg();
    const Bytes original = jpeg;
    EXPECT_FALSE(md::insert_app1(jpeg, Bytes(65534, 1)));
    EXPECT_FALSE(md::insert_app1(jpeg, Bytes()));
    EXPECT_EQ(jpeg, original);
    ASSERT_TRUE(md::insert_app1(jpeg, Bytes(65533, 1)));
    EXPECT_EQ(jpeg[4] << 8 | jpeg[5], 0xFFFF);
}

// The extension decides the format. 16-bit data aimed at an 8-bit-only
// format is written as its ÷257 image, not saturated to white.
TEST(Export, SixteenBitsToEightBitFormatsAndKeepExifWithUprightOrientation) {
    TempDir dir;
    auto ctx = flat_context(0x4000, 0x8000, 0xC000);
    ASSERT_EQ(vornalix_export_tiff(ctx.get(), dir.file("a.tif").c_str()), 0);
    ASSERT_EQ(vornalix_export_tiff(ctx.get(), dir.file("t.jpg").c_str()), 0);
    ASSERT_EQ(vornalix_export_png(ctx.get(), dir.file("16.png").c_str(), 16), 0);
    ASSERT_EQ(vornalix_export_png(ctx.get(), dir.file("p.bmp").c_str(), 16), 0);
    ASSERT_EQ(vornalix_export_png(ctx.get(), dir.file("8.png").c_str(), 24), 0);  // anything but 16 is 8

    const cv::Mat tif = cv::imread(dir.file("a.tif"), cv::IMREAD_UNCHANGED);
    EXPECT_EQ(std::pair(tif.type(), tif.at<cv::Vec3w>(0, 0)), std::pair(CV_16UC3, cv::Vec3w(0xC000, 0x8000, 0x4000)));  // B, G, R
    EXPECT_EQ(cv::imread(dir.file("16.png"), cv::IMREAD_UNCHANGED).type(), CV_16UC3);
    for (const char* name : {"8.png", "p.bmp"}) {
        const cv::Mat eight = cv::imread(dir.file(name), cv::IMREAD_UNCHANGED);
        EXPECT_EQ(std::pair(eight.type(), eight.at<cv::Vec3b>(0, 0)), std::pair(CV_8UC3, cv::Vec3b(191, 128, 64))) << name;
    }
    EXPECT_NEAR(cv::imread(dir.file("t.jpg")).at<cv::Vec3b>(2, 2)[0], 191, 3);

    // keep_exif copies the source's block with an upright orientation and the
    // written pixel size, even when the target is the source itself; a source
    // without EXIF, or a PNG target, is no failure.
    const std::string source = dir.file("camera.jpg");
    fixtures::write_bytes(source, fixtures::jpeg_with_exif(fixtures::camera_block()));
    ctx = flat_context(30000, 30000, 30000);
    ctx->source_path = source;
    for (const auto& [path, keep] : {std::pair{dir.file("keep.jpg"), 1}, {dir.file("drop.jpg"), 0}, {source, 1}})
        ASSERT_EQ(vornalix_export_jpeg(ctx.get(), path.c_str(), 90, 0, keep), 0);
    for (const std::string& kept : {dir.file("keep.jpg"), source}) {
        VornalixExif e;
        ASSERT_TRUE(md::read_exif(kept, e));
        // The written size, not the camera's.
        EXPECT_EQ(std::tuple(std::string(e.make), e.orientation, e.width, e.height), std::tuple("Maker", 1, 8, 6));
    }
    VornalixExif e;
    EXPECT_FALSE(md::read_exif(dir.file("drop.jpg"), e));
    EXPECT_EQ(cv::imread(source).at<cv::Vec3b>(0, 0)[1], 117);  // the new picture (30000 / 257)
    EXPECT_EQ(vornalix_export_jpeg(ctx.get(), dir.file("other.png").c_str(), 90, 0, 1), 0);
    ctx->source_path = dir.file("other.png");
    EXPECT_EQ(vornalix_export_jpeg(ctx.get(), dir.file("plain.jpg").c_str(), 90, 0, 1), 0);
}

// An export renders only when nothing is rendered and leaves the flag; the
// histogram renders once and sets it, and counts each channel and the luminance.
TEST(Export, RenderingRulesOfExportsAndHistograms) {
    TempDir dir;
    auto ctx = flat_context(65535, 65535, 65535, 4, 3);
    ctx->pipeline.result = vornalix::ImageBuffer(), ctx->processed = false;
    ASSERT_EQ(vornalix_export_png(ctx.get(), dir.file("r.png").c_str(), 8), 0);
    EXPECT_FALSE(ctx->processed);
    // With the flag set, the existing result is written as it stands.
    ctx->pipeline.result.fill(0), ctx->processed = true;
    ASSERT_EQ(vornalix_export_png(ctx.get(), dir.file("r.png").c_str(), 8), 0);
    EXPECT_EQ(cv::imread(dir.file("r.png")).at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 0));

    unsigned r[256], g[256], b[256], l[256];
    EXPECT_EQ(vornalix_get_histogram(make_context().get(), r, g, b, l), -1);  // no image
    ctx->processed = false;
    ASSERT_EQ(vornalix_get_histogram(ctx.get(), r, g, b, l), 0);
    EXPECT_TRUE(ctx->processed);
    EXPECT_EQ(std::accumulate(l, l + 256, 0u), 12u);
    // A later call reuses the result, whatever the settings say now.
    ctx->pipeline.result.fill(65535);
    ASSERT_EQ(vornalix_get_histogram(ctx.get(), r, g, b, l), 0);
    // Every channel of every pixel is counted (the bins are the histogram rules').
    for (const unsigned* h : {r, g, b, l}) EXPECT_EQ(std::pair(h[255], std::accumulate(h, h + 256, 0u)), std::pair(12u, 12u));
}

TEST(AtomicWrites, DiskFullWriterFailuresAndFoldersLeaveTheTargetIntact) {
    TempDir src;
    const std::string camera = src.file("camera.jpg");
    fixtures::write_bytes(camera, fixtures::jpeg_with_exif(fixtures::camera_block()));
    cv::Mat noise(48, 64, CV_16UC4);
    cv::randu(noise, 0, 65536);
    auto ctx = rendered_context(noise, camera);
    ctx->segmentation_mask = cv::Mat(noise.size(), CV_8U, cv::Scalar(255));
    ctx->has_segmentation_mask = true;
    VornalixContext* c = ctx.get();
    Bytes png, photo;
    cv::imencode(".png", vornalix::ImageBuffer(noise).to_8bit(), png);
    expect_failed_writes_leave_target(png, {
        {"out.jpg", [&](const std::string& p) { return vornalix_export_jpeg(c, p.c_str(), 95, 0, 0) == 0; }},
        {"exif.jpg", [&](const std::string& p) { return vornalix_export_jpeg(c, p.c_str(), 95, 0, 1) == 0; }},
        {"out.tif", [&](const std::string& p) { return vornalix_export_tiff(c, p.c_str()) == 0; }},
        {"out.png", [&](const std::string& p) { return vornalix_export_png(c, p.c_str(), 16) == 0; }},
        {"cutout.png", [&](const std::string& p) { return vornalix_export_subject_png(c, p.c_str()) == 0; }},
    });
    EXPECT_STREQ(vornalix_last_error(c), "failed to write PNG");

    // A photograph with an EXIF segment, large enough to cross the limit.
    cv::imencode(".jpg", vornalix::ImageBuffer(noise).to_8bit(), photo);
    ASSERT_TRUE(md::insert_app1(photo, fixtures::camera_block()));
    expect_failed_writes_leave_target(photo, {
        {"copy.jpg", [&](const std::string& p) { return md::copy_exif(camera, p); }},
        {"strip.jpg", [&](const std::string& p) { return md::strip_exif(p); }},
    });

    // A writer failing part-way, by result or by exception, and targets that
    // cannot be replaced: the target and its folder stay as they were.
    TempDir dir;
    const std::string target = dir.file("photo.JPG");
    const Bytes original{1, 2, 3};
    fixtures::write_bytes(target, original);
    std::string seen;
    EXPECT_FALSE(vornalix::output::write_atomically(target, [&](const std::string& temp) {
        seen = temp;
        vornalix::output::overwrite_file(temp, Bytes(100, 9));
        return false;
    }));
    EXPECT_EQ(seen.substr(0, dir.file("").size()), dir.file(""));  // same folder
    EXPECT_EQ(seen.substr(seen.size() - 4), ".JPG");                // same extension
    EXPECT_THROW(vornalix::output::write_atomically(target, [](const std::string&) -> bool {
                     throw std::runtime_error("writer failed");
                 }),
                 std::runtime_error);
    EXPECT_FALSE(vornalix::output::write_file_atomically(dir.file("no/such/folder.jpg"), {1}));
    EXPECT_FALSE(vornalix::output::write_file_atomically(dir.file(""), {1}));  // a folder is not replaced
    EXPECT_EQ(fixtures::read_bytes(target), original);
    EXPECT_EQ(fixtures::file_names(dir), std::vector<std::string>{"photo.JPG"});
}
