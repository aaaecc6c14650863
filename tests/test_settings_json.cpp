// Settings documents: the edit survives a trip through JSON bit for bit, and
// every faulty document is refused with the key named and nothing changed.

#include "api/settings_json.h"
#include "support/context_access.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

ContextPtr context_with_image() {
    auto ctx = make_context();
    cv::Mat rgb(24, 36, CV_16UC3);
    cv::RNG(7).fill(rgb, cv::RNG::UNIFORM, 0, 65535);
    ctx->pipeline.set_source(vornalix::ImageBuffer(rgb));
    return ctx;
}

std::string to_json(VornalixContext* ctx) {
    const int needed = vornalix_settings_to_json(ctx, nullptr, 0);
    EXPECT_GT(needed, 0) << vornalix_last_error(ctx);
    std::string text(static_cast<std::size_t>(std::max(needed, 1)), '\0');
    EXPECT_EQ(vornalix_settings_to_json(ctx, text.data(), needed), needed);
    text.resize(std::strlen(text.c_str()));
    return text;
}

// Values of every family, including ones with no short decimal form.
void set_a_look(VornalixContext* ctx) {
    vornalix_set_shadows(ctx, -31.0f / 3.0f);
    const float master[] = {0.0f, 0.05f, 0.3f, 0.25f, 1.0f, 0.97f};
    vornalix_set_tone_curve(ctx, 0, master, 3);
    vornalix_set_hsl(ctx, 7, -3.0f, 8.0f, -6.5f);
    vornalix_set_split_toning(ctx, 1, 210.0f, 12.0f, 0.0f);
    vornalix_set_crop(ctx, 0.05f, 0.1f, 0.9f, 0.8f);
    vornalix_set_flip_h(ctx, 1);
}

}  // namespace

TEST(SettingsJson, RoundTripRendersTheSameBytesAndKeepsFloatBits) {
    auto original = context_with_image(), copy = context_with_image();
    set_a_look(original.get());
    const std::string document = to_json(original.get());
    ASSERT_EQ(vornalix_settings_from_json(copy.get(), document.c_str()), 0) << vornalix_last_error(copy.get());
    EXPECT_EQ(to_json(copy.get()), document);
    const int size = vornalix_get_width(copy.get()) * vornalix_get_height(copy.get()) * 4;
    std::vector<unsigned char> a(size), b(size);
    ASSERT_EQ(vornalix_get_preview(original.get(), a.data(), size), 0);
    ASSERT_EQ(vornalix_get_preview(copy.get(), b.data(), size), 0);
    EXPECT_EQ(a, b);

    for (float value : {-0.0f, std::numeric_limits<float>::max(), std::numeric_limits<float>::denorm_min(),
                        std::nextafter(1.0f, 2.0f)}) {
        vornalix_set_dehaze(copy.get(), value);
        const std::string text = to_json(copy.get());
        copy->params.dehaze = 42.0f;
        ASSERT_EQ(vornalix_settings_from_json(copy.get(), text.c_str()), 0) << vornalix_last_error(copy.get());
        EXPECT_EQ(std::memcmp(&copy->params.dehaze, &value, sizeof value), 0) << value << "\n" << text;
    }
}

TEST(SettingsJson, OmittedKeysTakeTheDefaultsAndRenderingIsDue) {
    auto ctx = context_with_image();
    set_a_look(ctx.get());
    vornalix_process(ctx.get());
    ASSERT_EQ(vornalix_settings_from_json(ctx.get(), R"({"version": 1, "contrast": 5,
        "tone_curve": {"red": [[0, 0], [0.5, 0.6], [1, 1]]}, "hsl": {"aqua": [1, 2, 3]}})"), 0)
        << vornalix_last_error(ctx.get());
    EXPECT_FALSE(ctx->processed);  // exports must not write the earlier rendering
    vornalix::EditParams expected;
    expected.contrast = 5.0f;
    expected.curves[1].points = {{0.0f, 0.0f}, {0.5f, 0.6f}, {1.0f, 1.0f}};
    expected.hsl[4] = {1.0f, 2.0f, 3.0f};
    EXPECT_EQ(vornalix::settings_to_json(ctx->params), vornalix::settings_to_json(expected));
}

TEST(SettingsJson, FaultyDocumentsNameTheKeyAndChangeNothing) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"exposure": 1, "bg_blur": 10})", "'bg_blur'"},
        {R"({"exposure": 2, "contrast": "20"})", "'contrast'"},
        {R"({"exposure": 1,)", "not valid JSON"},
        {R"({"hsl": {"red": [0, null, 0]}})", "'hsl.red[1]'"},
        {R"({"hsl": {"red": [0, 1e39, 0]}})", "'hsl.red'"},
        {R"({"exposure": 1, "exposure": 2})", "'exposure'"},
        {R"({"version": 2, "exposure": 1})", "'version'"},
    };
    auto ctx = context_with_image();
    set_a_look(ctx.get());
    vornalix_process(ctx.get());
    const std::string before = to_json(ctx.get());
    for (const auto& [document, named] : cases) {
        SCOPED_TRACE(document);
        EXPECT_EQ(vornalix_settings_from_json(ctx.get(), document), -1);
        EXPECT_NE(std::string(vornalix_last_error(ctx.get())).find(named), std::string::npos)
            << vornalix_last_error(ctx.get());
        EXPECT_EQ(to_json(ctx.get()), before);
        EXPECT_TRUE(ctx->processed);
    }
    EXPECT_EQ(vornalix_settings_from_json(ctx.get(), nullptr), -1);
}

TEST(SettingsJson, WritingChecksTheBufferAndRefusesNonFiniteValues) {
    auto ctx = make_context();
    const int needed = vornalix_settings_to_json(ctx.get(), nullptr, 0);
    std::string buffer(static_cast<std::size_t>(needed), 'x');
    EXPECT_EQ(vornalix_settings_to_json(ctx.get(), buffer.data(), needed - 1), -2);
    EXPECT_EQ(buffer, std::string(static_cast<std::size_t>(needed), 'x'));
    EXPECT_NE(std::string(vornalix_last_error(ctx.get())).find("too small"), std::string::npos);

    vornalix_set_hsl(ctx.get(), 2, 0.0f, std::numeric_limits<float>::quiet_NaN(), 0.0f);
    EXPECT_EQ(vornalix_settings_to_json(ctx.get(), nullptr, 0), -1);
    EXPECT_NE(std::string(vornalix_last_error(ctx.get())).find("'hsl.yellow'"), std::string::npos);
}
