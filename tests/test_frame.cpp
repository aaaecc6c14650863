#include "support/context_access.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

TEST(Frame, VersionInitAndNullContext) {
    EXPECT_STREQ(vornalix_version(), "1.0.0");
    EXPECT_EQ(vornalix_init(), 0);
    vornalix_shutdown();
    EXPECT_STREQ(vornalix_last_error(nullptr), "null context");
    vornalix_destroy_context(nullptr);
}

TEST(Frame, FreshContextHasDefaultsAndNoError) {
    auto ctx = make_context();
    ASSERT_TRUE(ctx);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "");
    EXPECT_FALSE(ctx->processed);
    EXPECT_FALSE(ctx->has_image());
    EXPECT_FALSE(ctx->has_segmentation_mask);
    EXPECT_EQ(ctx->bg_blur, 0.0f);
    EXPECT_EQ(ctx->params.temperature, 5500.0f);
    EXPECT_EQ(ctx->decoder.make[0], '\0');
}

TEST(Frame, ErrorBoundaryTurnsExceptionsIntoOneLineMessages) {
    auto ctx = make_context();
    int rc = vornalix::api::guarded(ctx.get(), []() -> int { throw std::runtime_error("first\nsecond\n"); });
    EXPECT_EQ(rc, -1);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "first second");
    rc = vornalix::api::guarded(ctx.get(), []() -> int { throw 42; });
    EXPECT_EQ(rc, -1);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "internal error");
    // A later success leaves the text of the last failure in place.
    EXPECT_EQ(vornalix::api::guarded(ctx.get(), [] { return 0; }), 0);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "internal error");
}

TEST(Setters, StoreValuesUnclampedAndIgnoreNullContext) {
    auto ctx = make_context();
    auto& p = ctx->params;
    vornalix_set_exposure(ctx.get(), 1000.0f);
    vornalix_set_temperature(ctx.get(), -5.0f);
    vornalix_set_flip_h(ctx.get(), 7);
    vornalix_set_grain_size(ctx.get(), std::numeric_limits<float>::infinity());
    vornalix_set_crop(ctx.get(), 0.1f, 0.2f, 0.3f, 0.4f);
    EXPECT_EQ(p.exposure, 1000.0f);
    EXPECT_EQ(p.temperature, -5.0f);
    EXPECT_EQ(p.flip_h, 7);
    EXPECT_TRUE(std::isinf(p.grain_size));
    EXPECT_EQ(p.crop_x, 0.1f);
    EXPECT_EQ(p.crop_h, 0.4f);

    vornalix_set_exposure(nullptr, 1.0f);
    vornalix_set_crop(nullptr, 1, 1, 1, 1);
    vornalix_set_tone_curve(nullptr, 0, nullptr, 2);
    vornalix_set_hsl(nullptr, 0, 1, 1, 1);
    vornalix_set_split_toning(nullptr, 0, 1, 1, 1);
    vornalix_reset_adjustments(nullptr);
    vornalix_reset_tone_curve(nullptr, 0);
}

TEST(Setters, ToneCurveChecksChannelPointsAndCount) {
    auto ctx = make_context();
    const float pts[] = {1.0f, 0.9f, 0.5f, 0.4f, 0.0f, 0.1f};
    const auto identity = vornalix::CurvePoints().points;

    for (int count : {1, 0, -3}) vornalix_set_tone_curve(ctx.get(), 0, pts, count);
    vornalix_set_tone_curve(ctx.get(), 0, nullptr, 3);
    vornalix_set_tone_curve(ctx.get(), 4, pts, 3);
    vornalix_set_tone_curve(ctx.get(), -1, pts, 3);
    for (const auto& curve : ctx->params.curves) EXPECT_EQ(curve.points, identity);

    // Descending x is stored in the caller's order, unchanged.
    vornalix_set_tone_curve(ctx.get(), 3, pts, 3);
    const auto& stored = ctx->params.curves[3].points;
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0], std::make_pair(1.0f, 0.9f));
    EXPECT_EQ(stored[2], std::make_pair(0.0f, 0.1f));

    vornalix_reset_tone_curve(ctx.get(), 5);
    EXPECT_EQ(stored.size(), 3u);
    vornalix_reset_tone_curve(ctx.get(), 3);
    EXPECT_EQ(ctx->params.curves[3].points, identity);
}

TEST(Setters, HslBandsAndSplitToningRegions) {
    auto ctx = make_context();
    auto& p = ctx->params;
    vornalix_set_hsl(ctx.get(), 7, 1.0f, 2.0f, 3.0f);
    vornalix_set_hsl(ctx.get(), 8, 9.0f, 9.0f, 9.0f);
    vornalix_set_hsl(ctx.get(), -1, 9.0f, 9.0f, 9.0f);
    EXPECT_EQ(p.hsl[7].hue, 1.0f);
    EXPECT_EQ(p.hsl[7].luminance, 3.0f);
    for (int b = 0; b < 7; ++b) EXPECT_EQ(p.hsl[b].hue, 0.0f);

    vornalix_set_split_toning(ctx.get(), 0, 40.0f, 30.0f, 10.0f);
    EXPECT_EQ(p.split_highlight_hue, 40.0f);
    EXPECT_EQ(p.split_highlight_saturation, 30.0f);
    EXPECT_EQ(p.split_balance, 10.0f);
    for (int region : {1, 5, -1}) {
        vornalix_set_split_toning(ctx.get(), region, 220.0f + region, 25.0f, -50.0f);
        EXPECT_EQ(p.split_shadow_hue, 220.0f + region);
        EXPECT_EQ(p.split_shadow_saturation, 25.0f);
        EXPECT_EQ(p.split_balance, 10.0f);
    }
}

TEST(Setters, ResetRestoresEveryDefaultButKeepsMaskAndBlur) {
    auto ctx = make_context();
    const float pts[] = {0.0f, 0.1f, 1.0f, 0.9f};
    vornalix_set_tone_curve(ctx.get(), 2, pts, 2);
    vornalix_set_temperature(ctx.get(), 3000.0f);
    vornalix_set_sharpening_radius(ctx.get(), 3.0f);
    vornalix_set_vignette_midpoint(ctx.get(), 10.0f);
    vornalix_set_crop(ctx.get(), 0.1f, 0.1f, 0.5f, 0.5f);
    vornalix_set_hsl(ctx.get(), 3, 1, 1, 1);
    ctx->bg_blur = 40.0f;
    ctx->processed = true;

    vornalix_reset_adjustments(ctx.get());
    const auto& p = ctx->params;
    for (const auto& curve : p.curves) EXPECT_TRUE(curve.is_identity());
    EXPECT_EQ(p.temperature, 5500.0f);
    EXPECT_EQ(p.sharpening_radius, 1.0f);
    EXPECT_EQ(p.vignette_midpoint, 50.0f);
    EXPECT_EQ(p.grain_size, 25.0f);
    EXPECT_EQ(p.crop_w, 0.0f);
    EXPECT_EQ(p.hsl[3].hue, 0.0f);
    EXPECT_FALSE(ctx->processed);
    EXPECT_EQ(ctx->bg_blur, 40.0f);
    EXPECT_FALSE(ctx->has_image());
}
