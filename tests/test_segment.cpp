#include "lens/lens_profile.h"
#include "segment/segmentation.h"
#include "support/context_access.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <filesystem>
#include <limits>
#include <string>
#include <vector>

namespace {

using vornalix::ImageBuffer;
constexpr float kInf = std::numeric_limits<float>::infinity();

// A bright disc of radius 30 in 160 x 120 on dark, textured ground.
ImageBuffer disc_on_texture(cv::Point centre = {80, 60}) {
    cv::Mat rgb(120, 160, CV_8UC3);
    cv::RNG(11).fill(rgb, cv::RNG::UNIFORM, cv::Scalar(20, 40, 10), cv::Scalar(90, 110, 70));
    cv::circle(rgb, centre, 30, cv::Scalar(240, 225, 200), cv::FILLED);
    return ImageBuffer(rgb);
}

// A call's result code and the error it left behind.
using Outcome = std::pair<int, std::string>;
Outcome outcome(VornalixContext* ctx, int code) { return {code, vornalix_last_error(ctx)}; }

ContextPtr segmented_disc() {
    auto ctx = make_context();
    ctx->pipeline.source = disc_on_texture();
    EXPECT_EQ(vornalix_segment_subject(ctx.get(), -1.0f, -1.0f), 0) << vornalix_last_error(ctx.get());
    return ctx;
}

}  // namespace

TEST(Segmentation, WorkingSizeAndRectangleFigures) {
    using vornalix::segment::subject_rect;
    using vornalix::segment::working_size;
    // A sliver keeps one pixel.
    for (const auto& [in, out] : {std::pair{cv::Size(3000, 4000), cv::Size(384, 512)}, {{512, 300}, {512, 300}}, {{10000, 1}, {512, 1}}})
        EXPECT_EQ(working_size(in), out) << in;
    EXPECT_EQ(subject_rect({512, 384}, std::numeric_limits<float>::quiet_NaN(), -1.0f), cv::Rect(103, 77, 307, 230));
    // The left edge: one pixel inside the border, not narrowed.
    EXPECT_EQ(subject_rect({512, 384}, 0.0f, -1.0f), cv::Rect(1, 77, 307, 230));
    // Points far outside leave no rectangle; the conversion never overflows.
    EXPECT_TRUE(subject_rect({512, 384}, kInf, 0.5f).width <= 0 && subject_rect({512, 384}, 0.5f, 1e30f).height <= 0);
}

TEST(Segmentation, BrightDiscOnTextureMask) {
    auto ctx = segmented_disc();
    const cv::Mat& mask = ctx->segmentation_mask;
    ASSERT_EQ(mask.size(), cv::Size(160, 120));
    // At least 95 % right well inside (radius 24) and well outside (radius 38) the disc.
    cv::Mat inside(120, 160, CV_8U, cv::Scalar(0)), outside(120, 160, CV_8U, cv::Scalar(255));
    cv::circle(inside, {80, 60}, 24, cv::Scalar(255), cv::FILLED);
    cv::circle(outside, {80, 60}, 38, cv::Scalar(0), cv::FILLED);
    EXPECT_GT(cv::countNonZero((mask >= 128) & inside), 0.95 * cv::countNonZero(inside));
    EXPECT_LT(cv::countNonZero((mask >= 128) & outside), 0.05 * cv::countNonZero(outside));

    // A read-out buffer one byte short is -2.
    std::vector<unsigned char> buffer(160 * 120 - 1);
    EXPECT_EQ(outcome(ctx.get(), vornalix_get_mask(ctx.get(), buffer.data(), 160 * 120 - 1)), Outcome(-2, "output buffer too small"));
    // The cut-out is pinned by the command-line run.
}

TEST(Segmentation, LargeImageIsReducedAndMaskComesBackFullSize) {
    auto ctx = make_context();
    // Wide, so that the working copy (512 x 64) stays cheap; the decoder image comes first.
    ctx->decoder.image = disc_on_texture().resize(1024, 128, cv::INTER_NEAREST);
    ctx->pipeline.source = ImageBuffer(cv::Mat(10, 10, CV_8UC3, cv::Scalar::all(0)));
    ASSERT_EQ(vornalix_segment_subject(ctx.get(), 0.5f, 0.5f), 0) << vornalix_last_error(ctx.get());
    ASSERT_EQ(ctx->segmentation_mask.size(), cv::Size(1024, 128));
    EXPECT_EQ(cv::Vec2b(ctx->segmentation_mask.at<uchar>(64, 512), ctx->segmentation_mask.at<uchar>(10, 40)), cv::Vec2b(255, 0));
}

// Failures keep the earlier mask, and a failed cut-out writes nothing.
TEST(Segmentation, FailuresKeepTheEarlierMask) {
    vornalix::testing::TempDir dir;
    auto ctx = make_context();
    unsigned char byte = 0;
    EXPECT_EQ(vornalix_segment_subject(ctx.get(), -1, -1), -1);
    EXPECT_EQ(outcome(ctx.get(), vornalix_get_mask(ctx.get(), &byte, 1)),
              Outcome(-1, "no segmentation mask \xe2\x80\x94 call vornalix_segment_subject first"));
    ctx->pipeline.source = disc_on_texture();
    EXPECT_EQ(outcome(ctx.get(), vornalix_export_subject_png(ctx.get(), dir.file("subject.png").c_str())),
              Outcome(-1, "no segmentation mask"));

    ctx = segmented_disc();
    const cv::Mat before = ctx->segmentation_mask.clone();
    // A point that leaves GrabCut no rectangle (and, further down, a sliver with no room for one).
    EXPECT_EQ(outcome(ctx.get(), vornalix_segment_subject(ctx.get(), kInf, 0.5f)), Outcome(-2, "GrabCut failed"));
    EXPECT_EQ(outcome(ctx.get(), vornalix_export_subject_png(ctx.get(), dir.file("no/such/dir/subject.png").c_str())),
              Outcome(-2, "failed to write PNG"));
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));  // no temporary left behind either
    ctx->pipeline.source = ImageBuffer(cv::Mat(1, 10000, CV_8UC3, cv::Scalar::all(90)));
    EXPECT_EQ(vornalix_segment_subject(ctx.get(), -1, -1), -2);
    EXPECT_TRUE(ctx->has_segmentation_mask && cv::norm(before, ctx->segmentation_mask, cv::NORM_INF) == 0);

    // A new image of another size keeps the old mask, which no longer fits;
    // after an unload the mask is still there, the image is not.
    const std::string other = dir.file("other.png"), out = dir.file("cut.png");
    ASSERT_TRUE(cv::imwrite(other, cv::Mat(100, 150, CV_8UC3, cv::Scalar::all(80))));
    ASSERT_EQ(vornalix_load_arw(ctx.get(), other.c_str(), 1), 0) << vornalix_last_error(ctx.get());
    EXPECT_EQ(vornalix_export_subject_png(ctx.get(), out.c_str()), -1);
    EXPECT_NE(std::string(vornalix_last_error(ctx.get())).find("made on a 160x120 image, the loaded image is 150x100"), std::string::npos);
    vornalix_unload(ctx.get());
    std::vector<unsigned char> mask(160 * 120);
    EXPECT_EQ(vornalix_get_mask(ctx.get(), mask.data(), static_cast<int>(mask.size())), 0);
    EXPECT_EQ(outcome(ctx.get(), vornalix_export_subject_png(ctx.get(), out.c_str())), Outcome(-1, "no image loaded"));
    EXPECT_FALSE(std::filesystem::exists(out));
}

// The cut-out's alpha moves with the picture through crops, turns,
// keystones, flips and lens corrections: it is the mask carried through the
// render as the picture's own alpha.
TEST(Segmentation, CutoutFollowsTheRenderedGeometry) {
    vornalix::testing::TempDir dir;
    auto ctx = make_context();
    ctx->pipeline.source = disc_on_texture({56, 44});  // off-centre, so that every edit moves it
    ASSERT_EQ(vornalix_segment_subject(ctx.get(), 0.35f, 0.37f), 0);
    cv::insertChannel(cv::Mat_<ushort>(ctx->segmentation_mask) * 257, ctx->pipeline.source.mat, 3);
    ctx->pipeline.lens_profile = vornalix::lens::Profile({"Canon", "EOS 30D", "EF-S 18-55mm f/3.5-5.6", 22, 22});
    for (const char* edit : {R"("crop": [0.3, 0.1, 0.6, 0.8])", R"("rotation": 35)", R"("perspective_h": 90, "perspective_v": -70)",
                             R"("flip_h": 1, "flip_v": 1, "distortion": 90)", R"("lens_profile": 1, "rotation": -20, "crop": [0, 0, 0.7, 0.7])"}) {
        ASSERT_EQ(vornalix_settings_from_json(ctx.get(), ("{" + std::string(edit) + "}").c_str()), 0) << edit;
        ASSERT_EQ(vornalix_export_subject_png(ctx.get(), dir.file("cut.png").c_str()), 0) << vornalix_last_error(ctx.get());
        cv::Mat alpha, carried;
        cv::extractChannel(cv::imread(dir.file("cut.png"), cv::IMREAD_UNCHANGED), alpha, 3);
        cv::extractChannel(ctx->pipeline.result.to_8bit(), carried, 3);
        EXPECT_LE(cv::norm(alpha, carried, cv::NORM_INF), 1.0) << edit;
    }
}
