#include "api/settings_json.h"
#include "support/context_access.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <tuple>

TEST(Frame, InitNullContextAndErrorBoundary) {
    EXPECT_EQ(vornalix_init(), 0);
    vornalix_shutdown();
    auto ctx = make_context();
    ASSERT_TRUE(ctx && !ctx->has_image());
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "");

    // Every entry point takes a null context without crashing.
    EXPECT_STREQ(vornalix_last_error(nullptr), "null context");
    vornalix_destroy_context(nullptr);
    vornalix_reset_adjustments(nullptr);
    vornalix_reset_tone_curve(nullptr, 0);

    // Exceptions become one-line messages.
    EXPECT_EQ(vornalix::api::guarded(ctx.get(), []() -> int { throw std::runtime_error("first\nsecond\n"); }), -1);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "first second");
    EXPECT_EQ(vornalix::api::guarded(ctx.get(), []() -> int { throw 42; }), -1);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "internal error");
    // A later success leaves the text of the last failure in place.
    EXPECT_EQ(vornalix::api::guarded(ctx.get(), [] { return 0; }), 0);
    EXPECT_STREQ(vornalix_last_error(ctx.get()), "internal error");
}

// Out-of-range channels, bands and counts are ignored; a reset restores every
// default but keeps the background blur.
TEST(Setters, OutOfRangeArgumentsAndReset) {
    auto ctx = make_context();
    auto& p = ctx->params;
    const float pts[] = {1.0f, 0.9f, 0.5f, 0.4f, 0.0f, 0.1f};
    const auto identity = vornalix::CurvePoints().points;
    for (int count : {1, 0, -3}) vornalix_set_tone_curve(ctx.get(), 0, pts, count);
    vornalix_set_tone_curve(ctx.get(), 0, nullptr, 3);
    for (int channel : {4, -1}) vornalix_set_tone_curve(ctx.get(), channel, pts, 3);
    for (const auto& curve : p.curves) EXPECT_EQ(curve.points, identity);
    for (int band : {8, -1}) vornalix_set_hsl(ctx.get(), band, 9.0f, 9.0f, 9.0f);
    for (const auto& band : p.hsl) EXPECT_EQ(band.hue, 0.0f);

    // Descending x is stored in the caller's order, unchanged.
    vornalix_set_tone_curve(ctx.get(), 3, pts, 3);
    vornalix_reset_tone_curve(ctx.get(), 5);
    EXPECT_EQ(p.curves[3].points, (std::vector<std::pair<float, float>>{{1.0f, 0.9f}, {0.5f, 0.4f}, {0.0f, 0.1f}}));

    // Region 0 is the highlights and sets the balance; any other the shadows.
    vornalix_set_split_toning(ctx.get(), 0, 40.0f, 30.0f, 10.0f);
    vornalix_set_split_toning(ctx.get(), 5, 220.0f, 25.0f, -50.0f);
    EXPECT_EQ(std::make_tuple(p.split_highlight_hue, p.split_shadow_hue, p.split_balance),
              std::make_tuple(40.0f, 220.0f, 10.0f));
    vornalix_set_temperature(ctx.get(), 3000.0f);
    ctx->bg_blur = 40.0f;
    vornalix_reset_adjustments(ctx.get());
    EXPECT_EQ(vornalix::settings_to_json(p), vornalix::settings_to_json({}));
    EXPECT_EQ(ctx->bg_blur, 40.0f);
}
