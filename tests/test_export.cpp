// Exports and histograms of the rendered result: formats, bit depths, EXIF,
// the rendering rules, and files that must survive a failed export. Every
// file the library writes goes through a temporary beside the target: when the
// disk fills part-way through (simulated with a file-size limit), the existing
// target keeps every byte and no temporary is left in the folder.

#include "metadata/exif.h"
#include "output/file_io.h"
#include "support/context_access.h"
#include "support/exif_fixtures.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <csignal>
#include <functional>
#include <numeric>
#include <stdexcept>
#include <tuple>

#include <sys/resource.h>

using fixtures::Bytes;

namespace {

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
        vornalix::testing::TempDir dir;
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

// The extension decides the format. 16-bit data aimed at an 8-bit-only
// format is written as its ÷257 image, not saturated to white.
TEST(Export, SixteenBitsToEightBitFormats) {
    vornalix::testing::TempDir dir;
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
}

// keep_exif copies the source's block with an upright orientation and the
// written pixel size, even when the target is the source itself; a source
// without EXIF, or a PNG target, is no failure.
TEST(Export, KeepExifCopiesTheSourceBlockWithUprightOrientation) {
    vornalix::testing::TempDir dir;
    const std::string source = dir.file("camera.jpg");
    fixtures::write_bytes(source, fixtures::jpeg_with_exif(fixtures::camera_block()));
    auto ctx = flat_context(30000, 30000, 30000);
    ctx->source_path = source;
    for (const auto& [path, keep] : {std::pair{dir.file("keep.jpg"), 1}, {dir.file("drop.jpg"), 0}, {source, 1}})
        ASSERT_EQ(vornalix_export_jpeg(ctx.get(), path.c_str(), 90, 0, keep), 0);
    for (const std::string& kept : {dir.file("keep.jpg"), source}) {
        VornalixExif e;
        ASSERT_TRUE(vornalix::metadata::read_exif(kept, e));
        // The written size, not the camera's.
        EXPECT_EQ(std::tuple(std::string(e.make), e.orientation, e.width, e.height), std::tuple("Maker", 1, 8, 6));
    }
    VornalixExif e;
    EXPECT_FALSE(vornalix::metadata::read_exif(dir.file("drop.jpg"), e));
    EXPECT_EQ(cv::imread(source).at<cv::Vec3b>(0, 0)[1], 117);  // the new picture (30000 / 257)
    EXPECT_EQ(vornalix_export_jpeg(ctx.get(), dir.file("other.png").c_str(), 90, 0, 1), 0);
    ctx->source_path = dir.file("other.png");
    EXPECT_EQ(vornalix_export_jpeg(ctx.get(), dir.file("plain.jpg").c_str(), 90, 0, 1), 0);
}

// An export renders only when nothing is rendered and leaves the flag; the
// histogram renders once and sets it, and bins each channel and the luminance.
TEST(Export, RenderingRulesOfExportsAndHistograms) {
    vornalix::testing::TempDir dir;
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
    EXPECT_EQ(l[255], 12u);

    auto grey = flat_context(32768, 32768, 32768, 5, 4);
    ASSERT_EQ(vornalix_get_histogram(grey.get(), r, g, b, l), 0);
    for (const unsigned* h : {r, g, b, l})
        EXPECT_EQ(std::pair(h[128], std::accumulate(h, h + 256, 0u)), std::pair(20u, 20u));
    auto red = flat_context(65535, 0, 0, 3, 3);
    ASSERT_EQ(vornalix_get_histogram(red.get(), r, g, b, l), 0);
    EXPECT_EQ(r[255] + g[0] + l[54], 27u);  // luminance weights red by 0.2126
}

TEST(AtomicWrites, DiskFullDuringExportOrExifRewriteLeavesTheTargetIntact) {
    vornalix::testing::TempDir src;
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
    ASSERT_TRUE(vornalix::metadata::insert_app1(photo, fixtures::camera_block()));
    expect_failed_writes_leave_target(photo, {
        {"copy.jpg", [&](const std::string& p) { return vornalix::metadata::copy_exif(camera, p); }},
        {"strip.jpg", [&](const std::string& p) { return vornalix::metadata::strip_exif(p); }},
    });
}

// A writer failing part-way, by result or by exception, and targets that
// cannot be replaced: the target and its folder stay as they were.
TEST(AtomicWrites, FailuresLeaveTargetAndFolderAsTheyWere) {
    vornalix::testing::TempDir dir;
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
