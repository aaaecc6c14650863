#include "support/context_access.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(Frame, InitFreshContextAndNullContext) {
    EXPECT_EQ(vornalix_init(), 0);
    vornalix_shutdown();
    auto ctx = make_context();
    ASSERT_TRUE(ctx);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "");
    EXPECT_FALSE(ctx->processed);
    EXPECT_FALSE(ctx->has_image());

    // Every entry point takes a null context without crashing.
    EXPECT_STREQ(vornalix_last_error(nullptr), "null context");
    vornalix_destroy_context(nullptr);
    vornalix_set_exposure(nullptr, 1.0f);
    vornalix_set_crop(nullptr, 1, 1, 1, 1);
    vornalix_set_tone_curve(nullptr, 0, nullptr, 2);
    vornalix_set_hsl(nullptr, 0, 1, 1, 1);
    vornalix_set_split_toning(nullptr, 0, 1, 1, 1);
    vornalix_reset_adjustments(nullptr);
    vornalix_reset_tone_curve(nullptr, 0);
}

TEST(Frame, ErrorBoundaryTurnsExceptionsIntoOneLineMessages) {
    auto ctx = make_context();
    EXPECT_EQ(vornalix::api::guarded(ctx.get(), []() -> int { throw std::runtime_error("first\nsecond\n"); }), -1);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "first second");
    EXPECT_EQ(vornalix::api::guarded(ctx.get(), []() -> int { throw 42; }), -1);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "internal error");
    // A later success leaves the text of the last failure in place.
    EXPECT_EQ(vornalix::api::guarded(ctx.get(), [] { return 0; }), 0);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "internal error");
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
    EXPECT_EQ(p.hsl[7].luminance, 3.0f);
    for (int b = 0; b < 7; ++b) EXPECT_EQ(p.hsl[b].hue, 0.0f);

    // Region 0 is the highlights and sets the balance; any other the shadows.
    vornalix_set_split_toning(ctx.get(), 0, 40.0f, 30.0f, 10.0f);
    EXPECT_EQ(p.split_highlight_hue, 40.0f);
    for (int region : {1, 5, -1}) {
        vornalix_set_split_toning(ctx.get(), region, 220.0f + region, 25.0f, -50.0f);
        EXPECT_EQ(p.split_shadow_hue, 220.0f + region);
        EXPECT_EQ(p.split_balance, 10.0f);
    }
}

TEST(Setters, ResetRestoresEveryDefaultButKeepsMaskAndBlur) {
    auto ctx = make_context();
    const float pts[] = {0.0f, 0.1f, 1.0f, 0.9f};
    vornalix_set_tone_curve(ctx.get(), 2, pts, 2);
    vornalix_set_temperature(ctx.get(), 3000.0f);
    vornalix_set_sharpening_radius(ctx.get(), 3.0f);
    vornalix_set_hsl(ctx.get(), 3, 1, 1, 1);
    ctx->bg_blur = 40.0f;

    vornalix_reset_adjustments(ctx.get());
    const auto& p = ctx->params;
    for (const auto& curve : p.curves) EXPECT_TRUE(curve.is_identity());
    EXPECT_EQ(p.temperature, 5500.0f);
    EXPECT_EQ(p.sharpening_radius, 1.0f);
    EXPECT_EQ(p.hsl[3].hue, 0.0f);
    EXPECT_EQ(ctx->bg_blur, 40.0f);
}
