#include "api/render.h"
#include "pipeline/background_blur.h"
#include "pipeline/row_pass.h"
#include "support/context_access.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// A context holding a synthetic 16-bit picture as if a standard file had been loaded.
ContextPtr context_with_image(int width, int height) {
    auto ctx = make_context();
    cv::Mat rgb(height, width, CV_16UC3);
    cv::randu(rgb, 0, 65535);
    cv::GaussianBlur(rgb, rgb, cv::Size(5, 5), 0);
    ctx->pipeline.set_source(vornalix::ImageBuffer(rgb));
    return ctx;
}

}  // namespace

TEST(Render, PreviewFailuresBufferSizesProcessedFlagAndUnload) {
    auto ctx = make_context();
    unsigned char buf[16];
    EXPECT_EQ(vornalix_process(ctx.get()), -1);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "no image loaded");
    EXPECT_EQ(vornalix_get_preview(ctx.get(), buf, sizeof buf), -1);
    vornalix_unload(nullptr);
    vornalix::Pipeline pipeline;  // an empty source leaves an earlier result as it was
    pipeline.result = vornalix::ImageBuffer(2, 2);
    pipeline.process(vornalix::EditParams());
    EXPECT_EQ(pipeline.result.width(), 2);

    ctx = context_with_image(7, 5);
    const int needed = 7 * 5 * 4;
    std::vector<unsigned char> out(needed, 0xAB);
    EXPECT_EQ(vornalix_get_preview(ctx.get(), out.data(), needed - 1), -1);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "output buffer too small");
    EXPECT_TRUE(ctx->processed);  // rendered even though the copy was refused
    EXPECT_EQ(std::count(out.begin(), out.end(), 0xAB), needed);
    EXPECT_EQ(vornalix_get_preview(ctx.get(), out.data(), -5), -1);
    // The preview's layout is pinned by the Python binding's tests.

    // Setters leave the processed flag, a reset or an unload clears it; the size
    // queries follow the result only while it is set. An unload keeps the settings
    // (and the mask, pinned by the segmentation round trip).
    ctx = context_with_image(8, 6);
    EXPECT_EQ(vornalix_process(ctx.get()), 0);
    vornalix_set_exposure(ctx.get(), 1.0f);
    EXPECT_TRUE(ctx->processed);
    ctx->pipeline.result = vornalix::ImageBuffer(3, 2);  // a stand-in for a cropped rendering
    EXPECT_EQ(vornalix_get_width(ctx.get()), 3);
    vornalix_reset_adjustments(ctx.get());
    EXPECT_TRUE(!ctx->processed && vornalix_get_width(ctx.get()) == 8);
    ctx->decoder.image = vornalix::ImageBuffer(11, 9);  // the decoder's image wins over the source
    EXPECT_EQ(vornalix_get_width(ctx.get()), 11);

    ctx->source_path = "x.png";
    ctx->bg_blur = 40.0f;
    vornalix_set_contrast(ctx.get(), 25.0f);
    ASSERT_EQ(vornalix_process(ctx.get()), 0);
    vornalix_unload(ctx.get());
    EXPECT_TRUE(!ctx->processed && ctx->source_path.empty() && vornalix_get_width(ctx.get()) == 0);
    EXPECT_EQ(cv::Vec2f(ctx->params.contrast, ctx->bg_blur), cv::Vec2f(25, 40));
}

TEST(Render, BackgroundBlurMaskAndResultConversion) {
    // 50: 30.5 -> 30 -> odd 31; 3: 1.83 -> 1, raised to 3.
    for (auto [strength, kernel] : {std::pair{50.0f, 31}, {3.0f, 3}, {std::numeric_limits<float>::infinity(), 61}})
        EXPECT_EQ(vornalix::background_blur_kernel(strength), kernel) << strength;
    vornalix_set_bg_blur(nullptr, 10.0f);  // the setter holds the strength to 0..100

    auto ctx = context_with_image(64, 40);
    const cv::Mat sharp = preview_of(ctx.get()), half(20, 32, CV_8UC1, cv::Scalar(0));
    cv::Mat blurred;
    cv::GaussianBlur(sharp, blurred, cv::Size(61, 61), 0, 0, cv::BORDER_DEFAULT);  // strength 100
    ctx->has_segmentation_mask = true;
    ctx->bg_blur = 100.0f;
    // A mask of another size is resized: left half subject, right half background.
    half.colRange(0, 16).setTo(255);
    ctx->segmentation_mask = half;
    const cv::Mat m = preview_of(ctx.get());
    EXPECT_EQ(cv::norm(m.colRange(0, 28), sharp.colRange(0, 28), cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(m.colRange(36, 64), blurred.colRange(36, 64), cv::NORM_INF), 0.0);

    // No blur at strength 0 (nor at NaN); the result never sees it.
    vornalix_set_bg_blur(ctx.get(), std::numeric_limits<float>::infinity());
    EXPECT_EQ(ctx->bg_blur, 100.0f);
    vornalix_set_bg_blur(ctx.get(), std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(cv::norm(preview_of(ctx.get()), sharp, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(ctx->pipeline.result.to_8bit(), sharp, cv::NORM_INF), 0.0);

    // The result conversion rounds half to even and clamps, with NaN and values
    // past the integer range giving 0, in the vector steps and in a row's last
    // odd pixel alike.
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    float samples[] = {0.0f, 1.0f, -0.5f, 2.0f, nan, inf, -inf, 1e30f, 0.5f / 65535, 1.5f / 65535,
                       2.5f / 65535, 65534.5f / 65535, 0.25f, -1e-9f, 1.0000001f, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f};
    cv::Mat working(1, 5, CV_32FC4, samples), out16;  // odd: one pixel past the pairs
    vornalix::RowPass(working).finish(out16);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(out16.ptr<ushort>(0)[i], cv::saturate_cast<ushort>(samples[i] * 65535.0f)) << i << ": " << samples[i];
}
