// Exports and histograms of the rendered result: formats, bit depths, EXIF,
// the rendering rules, and files that must survive a failed or odd export.

#include "metadata/exif.h"
#include "support/context_access.h"
#include "support/exif_fixtures.h"
#include "support/sample_cr2.h"
#include "support/temp_dir.h"

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

#include <numeric>

using fixtures::Bytes;

namespace {

// A context holding a rendered result of one colour (16-bit R, G, B).
ContextPtr rendered_context(unsigned short r, unsigned short g, unsigned short b, int w = 8, int h = 6) {
    auto ctx = make_context();
    cv::Mat rgba(h, w, CV_16UC4, cv::Scalar(r, g, b, 65535));
    ctx->pipeline.source = vornalix::ImageBuffer(rgba);
    ctx->pipeline.result = vornalix::ImageBuffer(rgba);
    ctx->processed = true;
    return ctx;
}

Bytes camera_jpeg() {
    fixtures::ExifBuilder b;
    b.ascii(EXIF_IFD_0, EXIF_TAG_MAKE, "Maker").short_value(EXIF_IFD_0, EXIF_TAG_ORIENTATION, 8);
    return fixtures::jpeg_with_exif(b.block());
}

}  // namespace

// The extension decides the format. 16-bit data aimed at an 8-bit-only
// format is written as its ÷257 image, not saturated to white.
TEST(Export, SixteenBitsToEightBitFormats) {
    vornalix::testing::TempDir dir;
    auto ctx = rendered_context(0x4000, 0x8000, 0xC000);
    ASSERT_EQ(vornalix_export_tiff(ctx.get(), dir.file("a.tif").c_str()), 0);
    ASSERT_EQ(vornalix_export_tiff(ctx.get(), dir.file("t.jpg").c_str()), 0);
    ASSERT_EQ(vornalix_export_png(ctx.get(), dir.file("16.png").c_str(), 16), 0);
    ASSERT_EQ(vornalix_export_png(ctx.get(), dir.file("p.bmp").c_str(), 16), 0);
    ASSERT_EQ(vornalix_export_png(ctx.get(), dir.file("8.png").c_str(), 24), 0);  // anything but 16 is 8

    const cv::Mat tif = cv::imread(dir.file("a.tif"), cv::IMREAD_UNCHANGED);
    EXPECT_EQ(tif.type(), CV_16UC3);
    EXPECT_EQ(tif.at<cv::Vec3w>(0, 0), cv::Vec3w(0xC000, 0x8000, 0x4000));  // B, G, R on disk
    EXPECT_EQ(cv::imread(dir.file("16.png"), cv::IMREAD_UNCHANGED).type(), CV_16UC3);
    for (const char* name : {"8.png", "p.bmp"}) {
        const cv::Mat eight = cv::imread(dir.file(name), cv::IMREAD_UNCHANGED);
        ASSERT_EQ(eight.type(), CV_8UC3) << name;
        EXPECT_EQ(eight.at<cv::Vec3b>(0, 0), cv::Vec3b(191, 128, 64)) << name;
    }
    EXPECT_NEAR(cv::imread(dir.file("t.jpg")).at<cv::Vec3b>(2, 2)[0], 191, 3);
}

TEST(Export, KeepExifCopiesTheSourceBlockWithUprightOrientation) {
    vornalix::testing::TempDir dir;
    const std::string source = dir.file("camera.jpg");
    fixtures::write_bytes(source, camera_jpeg());
    auto ctx = rendered_context(30000, 30000, 30000);
    ctx->source_path = source;
    ASSERT_EQ(vornalix_export_jpeg(ctx.get(), dir.file("keep.jpg").c_str(), 90, 0, 1), 0);
    ASSERT_EQ(vornalix_export_jpeg(ctx.get(), dir.file("drop.jpg").c_str(), 90, 0, 0), 0);
    VornalixExif e;
    ASSERT_TRUE(vornalix::metadata::read_exif(dir.file("keep.jpg"), e));
    EXPECT_STREQ(e.make, "Maker");
    EXPECT_EQ(e.orientation, 1);
    EXPECT_FALSE(vornalix::metadata::read_exif(dir.file("drop.jpg"), e));

    // Exporting over the source keeps the camera's metadata it carried.
    ASSERT_EQ(vornalix_export_jpeg(ctx.get(), source.c_str(), 90, 0, 1), 0);
    ASSERT_TRUE(vornalix::metadata::read_exif(source, e));
    EXPECT_STREQ(e.make, "Maker");
    EXPECT_EQ(cv::imread(source).at<cv::Vec3b>(0, 0)[1], 117);  // the new picture (30000 / 257)

    // A source without EXIF, or a PNG target, is no failure.
    EXPECT_EQ(vornalix_export_jpeg(ctx.get(), dir.file("other.png").c_str(), 90, 0, 1), 0);
    ctx->source_path = dir.file("other.png");
    EXPECT_EQ(vornalix_export_jpeg(ctx.get(), dir.file("plain.jpg").c_str(), 90, 0, 1), 0);
}

TEST(Export, FailuresReportAndLeaveFilesAlone) {
    vornalix::testing::TempDir dir;
    auto empty = make_context();
    EXPECT_EQ(vornalix_export_jpeg(empty.get(), dir.file("x.jpg").c_str(), 90, 0, 0), -1);
    EXPECT_STREQ(vornalix_last_error(empty.get()), "no image loaded");

    auto ctx = rendered_context(1000, 2000, 3000);
    const Bytes keep{'k', 'e', 'e', 'p'};
    fixtures::write_bytes(dir.file("x.unknown"), keep);
    EXPECT_EQ(vornalix_export_jpeg(ctx.get(), dir.file("x.unknown").c_str(), 90, 0, 0), -1);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "JPEG write failed");
    EXPECT_EQ(vornalix_export_tiff(ctx.get(), dir.file("x.unknown").c_str()), -1);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "TIFF write failed");
    EXPECT_EQ(vornalix_export_png(ctx.get(), dir.file("none/x.png").c_str(), 16), -1);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "PNG write failed");
    EXPECT_EQ(fixtures::read_bytes(dir.file("x.unknown")), keep);
    EXPECT_EQ(fixtures::file_names(dir), std::vector<std::string>{"x.unknown"});
}

TEST(Export, RendersOnlyWhenNotProcessedAndLeavesTheFlag) {
    vornalix::testing::TempDir dir;
    auto ctx = rendered_context(65535, 65535, 65535);
    ctx->pipeline.result = vornalix::ImageBuffer();
    ctx->processed = false;
    ASSERT_EQ(vornalix_export_png(ctx.get(), dir.file("r.png").c_str(), 8), 0);
    EXPECT_FALSE(ctx->processed);

    // With the flag set, the existing result is written as it stands.
    ctx->pipeline.result.fill(0);
    ctx->processed = true;
    ASSERT_EQ(vornalix_export_png(ctx.get(), dir.file("r.png").c_str(), 8), 0);
    EXPECT_EQ(cv::imread(dir.file("r.png")).at<cv::Vec3b>(0, 0), cv::Vec3b(0, 0, 0));
}

TEST(Histogram, BinsAndSums) {
    unsigned r[256], g[256], b[256], l[256];
    auto grey = rendered_context(32768, 32768, 32768, 5, 4);
    ASSERT_EQ(vornalix_get_histogram(grey.get(), r, g, b, l), 0);
    for (const unsigned* h : {r, g, b, l}) {
        EXPECT_EQ(h[128], 20u);
        EXPECT_EQ(std::accumulate(h, h + 256, 0u), 20u);
    }
    auto red = rendered_context(65535, 0, 0, 3, 3);
    ASSERT_EQ(vornalix_get_histogram(red.get(), r, g, b, l), 0);
    EXPECT_EQ(r[255] + g[0] + l[54], 27u);  // luminance weights red by 0.2126
}

TEST(Histogram, RendersOnceAndSetsTheFlag) {
    unsigned r[256], g[256], b[256], l[256];
    auto ctx = make_context();
    EXPECT_EQ(vornalix_get_histogram(ctx.get(), r, g, b, l), -1);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "no image loaded");

    ctx->pipeline.source = vornalix::ImageBuffer(4, 3);
    ASSERT_EQ(vornalix_get_histogram(ctx.get(), r, g, b, l), 0);
    EXPECT_TRUE(ctx->processed);
    EXPECT_EQ(std::accumulate(l, l + 256, 0u), 12u);
    // A later call reuses the result, whatever the settings say now.
    ctx->pipeline.result.fill(65535);
    ASSERT_EQ(vornalix_get_histogram(ctx.get(), r, g, b, l), 0);
    EXPECT_EQ(l[255], 12u);
}

// keep_exif on a RAW source: the developed JPEG carries the camera's
// metadata, which the RAW's own TIFF structure holds.
TEST(Export, DevelopedRawKeepsTheCameraMetadata) {
    vornalix::testing::TempDir dir;
    auto ctx = make_context();
    ASSERT_EQ(vornalix_load_arw(ctx.get(), VORNALIX_TEST_CR2, 4), 0);
    VornalixExif e;
    const std::string out = dir.file("developed.jpg");
    ASSERT_EQ(vornalix_export_jpeg(ctx.get(), out.c_str(), 90, 0, 1), 0);
    ASSERT_TRUE(vornalix::metadata::read_exif(out, e));
    fixtures::expect_sample_cr2_metadata(e);
    EXPECT_EQ(cv::imread(out).cols, vornalix_get_width(ctx.get()));
}

TEST(ExifApi, FollowsTheLastLoadedFile) {
    vornalix::testing::TempDir dir;
    const std::string camera = dir.file("camera.jpg");
    fixtures::write_bytes(camera, camera_jpeg());
    auto ctx = make_context();
    VornalixExif e;
    EXPECT_EQ(vornalix_get_exif(ctx.get(), &e), -1);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "no file loaded");
    ASSERT_EQ(vornalix_load_arw(ctx.get(), camera.c_str(), 1), 0);
    ASSERT_EQ(vornalix_get_exif(ctx.get(), &e), 0);
    EXPECT_EQ(e.orientation, 8);  // as stored
    // The record follows source_path, which a failed load keeps and an unload clears (pinned elsewhere).
}
