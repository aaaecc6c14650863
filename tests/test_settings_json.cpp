// The context frame, the setters, the settings table and settings documents: every setting reaches its field
// through its setter, the document and the command line; the edit survives a
// trip through JSON bit for bit; every faulty document is refused with the key
// named and nothing changed.

#include "api/settings_json.h"
#include "support/cli_run.h"
#include "support/context_access.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <regex>
#include <set>
#include <stdexcept>
#include <tuple>

namespace {

// A value inside the setting's range that is not its default.
template <class T>
T off_default(T value, float min, float max) {
    const T pick = static_cast<T>(min + (max - min) / 4);
    return pick == value ? static_cast<T>(max) : pick;
}
#define SET_LOOK(key, type, value, front, min, max, ...) vornalix_set_##key(ctx, off_default<type>(value, min, max));
#define EXPECT_LOOK(key, type, value, front, min, max, ...) EXPECT_EQ(p.key, off_default<type>(value, min, max));
void expect_a_look(const vornalix::EditParams& p) { VORNALIX_SETTINGS(EXPECT_LOOK, VORNALIX_SETTINGS_SKIP) }

std::string to_json(VornalixContext* ctx) { return vornalix::settings_to_json(ctx->params); }

// Every single-value setting off its default, and each setting with several parts.
void set_a_look(VornalixContext* ctx) {
    VORNALIX_SETTINGS(SET_LOOK, VORNALIX_SETTINGS_SKIP)
    const float master[] = {0.0f, 0.05f, 0.3f, 0.25f, 1.0f, 0.97f};
    vornalix_set_tone_curve(ctx, 0, master, 3);
    vornalix_set_hsl(ctx, 7, -3.0f, 8.0f, -6.5f);
    vornalix_set_split_toning(ctx, 1, 210.0f, 12.0f, 0.0f);
    vornalix_set_crop(ctx, 0.05f, 0.1f, 0.9f, 0.8f);
}

}  // namespace

// The header's single-value setters, the table and the document name the same settings.
TEST(SettingsTable, HeaderTableAndDocumentAgreeEverySettingRoundTrips) {
    std::ifstream header(VORNALIX_GOLDEN_DIR "/../../../include/vornalix.h");
    const std::regex setter(R"(vornalix_set_(\w+)\(VornalixContext\* ctx, (float|int) value\);)");
    std::set<std::string> in_header, in_table;
    std::smatch match;
    for (std::string line; std::getline(header, line);)
        if (std::regex_search(line, match, setter)) in_header.insert(match[1]);
    const std::string defaults = vornalix::settings_to_json({});
#define IN_TABLE(key, ...) in_table.insert(#key); EXPECT_NE(defaults.find("\"" #key "\": "), std::string::npos);
    VORNALIX_SETTINGS(IN_TABLE, VORNALIX_SETTINGS_SKIP)
    EXPECT_EQ(in_header, in_table);

    auto original = make_context(), copy = make_context();
    set_a_look(nullptr);
    set_a_look(original.get());
    const std::string document = to_json(original.get());
    ASSERT_EQ(vornalix_settings_from_json(copy.get(), document.c_str()), 0) << vornalix_last_error(copy.get());
    expect_a_look(copy->params);
    EXPECT_EQ(to_json(copy.get()), document);
    for (float value : {-0.0f, std::numeric_limits<float>::max(), std::numeric_limits<float>::denorm_min(),
                        std::nextafter(1.0f, 2.0f), -31.0f / 3.0f}) {
        vornalix_set_dehaze(copy.get(), value);
        const std::string text = to_json(copy.get());
        copy->params.dehaze = 42.0f;
        ASSERT_EQ(vornalix_settings_from_json(copy.get(), text.c_str()), 0) << vornalix_last_error(copy.get());
        EXPECT_EQ(std::memcmp(&copy->params.dehaze, &value, sizeof value), 0) << value << "\n" << text;
    }

    vornalix::testing::TempDir dir;
    const std::string settings = "settings " + dir.file("in.png");
    ASSERT_TRUE(cv::imwrite(dir.file("in.png"), cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(90))));
    std::string flags;
#define FLAG(key, type, value, front, min, max, flag, ...) \
    flags += " --" flag + (!std::is_same_v<type, int> ? "=" + std::to_string(off_default<type>(value, min, max)) \
                           : front ? std::string("=on") : std::string());
    VORNALIX_SETTINGS(FLAG, VORNALIX_SETTINGS_SKIP)
    const auto cli = vornalix::testing::run_cli(settings + flags);
    ASSERT_EQ(vornalix_settings_from_json(copy.get(), cli.output.c_str()), 0) << cli.output;
    expect_a_look(copy->params);

    // A value beyond the documented range is refused with the key and the range.
    const auto beyond = vornalix::testing::run_cli(settings + " --exposure 99");
    EXPECT_EQ(beyond.status, 2);
    EXPECT_NE(beyond.output.find("exposure 99 is outside -5..5"), std::string::npos) << beyond.output;
    EXPECT_EQ(vornalix::testing::run_cli(settings + " --exposure 99 --allow-extreme").status, 0);
}

// A bad document changes nothing; a good one replaces the whole edit and makes
// rendering due; a document is written only whole and finite.
TEST(SettingsJson, FaultyDocumentsChangeNothingOmittedKeysTakeTheDefaultsWritingIsChecked) {
    const std::pair<const char*, const char*> cases[] = {
        {R"({"exposure": 1, "bg_blur": 10})", "'bg_blur'"}, {R"({"exposure": 2, "contrast": "20"})", "'contrast'"},
        {R"({"exposure": 1,)", "not valid JSON"}, {R"({"hsl": {"red": [0, null, 0]}})", "'hsl.red[1]'"},
        {R"({"hsl": {"red": [0, 1e39, 0]}})", "'hsl.red'"}, {R"({"exposure": 1, "exposure": 2})", "'exposure'"},
        {R"({"version": 2, "exposure": 1})", "'version'"},
    };
    auto ctx = make_context();
    set_a_look(ctx.get());
    ctx->processed = true;
    const std::string before = to_json(ctx.get());
    for (const auto& [document, named] : cases) {
        SCOPED_TRACE(document);
        EXPECT_EQ(vornalix_settings_from_json(ctx.get(), document), -1);
        EXPECT_NE(std::string(vornalix_last_error(ctx.get())).find(named), std::string::npos)
            << vornalix_last_error(ctx.get());
        EXPECT_TRUE(to_json(ctx.get()) == before && ctx->processed);
    }
    EXPECT_EQ(vornalix_settings_from_json(ctx.get(), nullptr), -1);

    ASSERT_EQ(vornalix_settings_from_json(ctx.get(), R"({"version": 1, "contrast": 5, "hsl": {"aqua": [1,2,3]}})"), 0);
    EXPECT_FALSE(ctx->processed);  // exports must not write the earlier rendering
    vornalix::EditParams expected;
    expected.contrast = 5.0f;
    expected.hsl[4] = {1.0f, 2.0f, 3.0f};
    EXPECT_EQ(vornalix::settings_to_json(ctx->params), vornalix::settings_to_json(expected));

    // Writing checks the buffer and refuses non-finite values.
    const int needed = vornalix_settings_to_json(ctx.get(), nullptr, 0);
    std::string buffer(static_cast<std::size_t>(needed), 'x');
    EXPECT_EQ(vornalix_settings_to_json(ctx.get(), buffer.data(), needed - 1), -2);
    EXPECT_EQ(buffer, std::string(static_cast<std::size_t>(needed), 'x'));
    EXPECT_NE(std::string(vornalix_last_error(ctx.get())).find("too small"), std::string::npos);

    vornalix_set_hsl(ctx.get(), 2, 0.0f, std::numeric_limits<float>::quiet_NaN(), 0.0f);
    EXPECT_EQ(vornalix_settings_to_json(ctx.get(), nullptr, 0), -1);
    EXPECT_NE(std::string(vornalix_last_error(ctx.get())).find("'hsl.yellow'"), std::string::npos);
}

TEST(Frame, InitNullContextErrorBoundaryAndSetterArguments) {
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

    // Out-of-range channels, bands and counts are ignored; a reset restores every
    // default but keeps the background blur.
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
