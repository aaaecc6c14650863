// Golden renders: the edit profiles on a synthetic chart and on a crop of the
// camera file, compared with 16-bit PNGs recorded from an earlier build. They
// guard the pictures while the rendering is made faster.
//
// Record them anew (only after a deliberate change of the pictures) with
//   VORNALIX_RECORD_GOLDEN=1 build/tests/vornalix_tests --gtest_filter='GoldenRender*'

#include "edit_profiles.h"
#include "support/context_access.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// 300 x 200: a grey ramp with hard steps above, a hue sweep fading from full
// colour to grey below, and a dark corner with fine detail.
cv::Mat chart() {
    cv::Mat hsv(200, 300, CV_32FC3), rgba;
    hsv.forEach<cv::Vec3f>([](cv::Vec3f& p, const int* at) {
        const int y = at[0], x = at[1];
        const float ramp = x / 299.0f;
        p = y < 60 ? cv::Vec3f(0.0f, 0.0f, (x / 25) % 2 == 0 ? ramp : ramp * 0.5f)
                   : cv::Vec3f(360.0f * x / 300, (y - 60) / 140.0f, 0.3f + 0.6f * ((y / 10) % 2));
        if (x < 40 && y > 150) p[2] = ((x + y) % 3 == 0) ? 0.08f : 0.02f;
    });
    cv::cvtColor(hsv, rgba, cv::COLOR_HSV2RGB);
    cv::cvtColor(rgba, rgba, cv::COLOR_RGB2RGBA);
    rgba.convertTo(rgba, CV_16UC4, 65535.0);
    return rgba;
}

// Every channel within 2 16-bit levels, except at most 0.1 % of the pixels:
// where a value sits on a hard threshold (a sharpening mask, a hue window, a
// table entry), a last-bit change flips the branch. Reports the worst pixel.
void expect_close(const cv::Mat& actual, const cv::Mat& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    ASSERT_TRUE(actual.type() == CV_16UC4 && expected.type() == CV_16UC4);
    cv::Mat diff, per_pixel;
    cv::absdiff(actual, expected, diff);
    cv::reduce(diff.reshape(1, static_cast<int>(diff.total())), per_pixel, 1, cv::REDUCE_MAX);
    double worst;
    cv::Point at;
    cv::minMaxLoc(per_pixel, nullptr, &worst, nullptr, &at);
    EXPECT_LE(cv::countNonZero(per_pixel > 2), 0.001 * actual.total())
        << "worst difference " << worst << " levels at (" << at.y % actual.cols << ", " << at.y / actual.cols << ")";
}

// The middle 300 x 200 of the camera file decoded at half size.
cv::Mat camera_crop() {
    ContextPtr ctx = make_context();
    if (vornalix_load_arw(ctx.get(), VORNALIX_TEST_CR2, 2) != 0) return {};
    const cv::Mat& full = ctx->pipeline.source.mat;
    const cv::Rect middle((full.cols - 300) / 2, (full.rows - 200) / 2, 300, 200);
    return full(middle).clone();
}

// The typical edit without its sharpening is all per-pixel work: one pass.
constexpr int kPerPixelOnly = -1;

// A context holding `source`, rendered with an edit profile.
ContextPtr rendered(const cv::Mat& source, int profile) {
    ContextPtr ctx = make_context();
    ctx->pipeline.set_source(vornalix::ImageBuffer(source));
    edit_profiles::set_profile(ctx.get(), profile == kPerPixelOnly ? edit_profiles::kTypical : profile, false);
    if (profile == kPerPixelOnly) vornalix_set_sharpening_amount(ctx.get(), 0.0f);
    ctx->pipeline.process(ctx->params);
    return ctx;
}

void check_against_golden(const cv::Mat& source, const std::string& name) {
    ASSERT_FALSE(source.empty());
    for (int profile : {edit_profiles::kTypical, edit_profiles::kEverything}) {
        const std::string file = std::string(VORNALIX_GOLDEN_DIR) + "/" + name +
                                 (profile == edit_profiles::kTypical ? "_typical.png" : "_everything.png");
        cv::Mat result, golden;
        cv::cvtColor(rendered(source, profile)->pipeline.result.mat, result, cv::COLOR_RGBA2BGRA);  // the file's order
        if (std::getenv("VORNALIX_RECORD_GOLDEN")) {
            std::filesystem::create_directories(VORNALIX_GOLDEN_DIR);
            ASSERT_TRUE(cv::imwrite(file, result)) << file;
            continue;
        }
        golden = cv::imread(file, cv::IMREAD_UNCHANGED);
        ASSERT_FALSE(golden.empty()) << "missing " << file;
        SCOPED_TRACE(file);
        expect_close(result, golden);
    }
}

using vornalix::Pipeline;
struct Stage {
    void (Pipeline::*alone)(cv::Mat&, const vornalix::EditParams&);
    void (Pipeline::*in_pass)(vornalix::RowPass&, const vornalix::EditParams&);
};
#define STAGE_ENTRY(name) {&Pipeline::apply_##name, &Pipeline::apply_##name},
const Stage kStages[] = {VORNALIX_STAGES(STAGE_ENTRY)};
#undef STAGE_ENTRY

// The render driver fuses stages into shared passes; running each stage on
// its own, in the same order, must show the same picture.
cv::Mat render_stage_by_stage(const cv::Mat& source, const vornalix::EditParams& params) {
    Pipeline pipeline;
    cv::Mat working;
    source.convertTo(working, CV_32FC4, 1.0 / 65535.0);
    for (const Stage& stage : kStages) (pipeline.*stage.alone)(working, params);
    working.convertTo(working, CV_16UC4, 65535.0);
    return working;
}

TEST(GoldenRender, FusedDriverMatchesStageByStage) {
    cv::RNG rng(11);
    for (cv::Size size : {cv::Size(157, 83), cv::Size(31, 97), cv::Size(300, 200)}) {
        cv::Mat source(size, CV_16UC4);
        rng.fill(source, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(65536));
        cv::GaussianBlur(source, source, cv::Size(5, 5), 0.0);  // some structure for the local stages
        for (int profile : std::initializer_list<int>
             {edit_profiles::kDefaults, edit_profiles::kTypical, edit_profiles::kEverything, kPerPixelOnly}) {
            SCOPED_TRACE(testing::Message() << size << " profile " << profile);
            ContextPtr ctx = rendered(source, profile);
            expect_close(ctx->pipeline.result.mat, render_stage_by_stage(source, ctx->params));
            // Later renders, through the scratch memory the first ones left
            // (the third borrows its planes from the second's), give the same picture.
            const cv::Mat first = ctx->pipeline.result.mat.clone();
            for (int again = 0; again < 2; ++again) {
                ctx->pipeline.process(ctx->params);
                EXPECT_EQ(cv::norm(first, ctx->pipeline.result.mat, cv::NORM_INF), 0.0);
            }
        }
    }
}

// A kernel declared per-channel is folded into a table of every 16-bit value
// at the head of a render; that is exact only if each colour channel depends
// on its own input alone. Each stage, run through the table and pixel by
// pixel on colours whose channels (and alpha) differ, must agree to the bit.
TEST(RowPassPromise, PerChannelKernelsFoldExactly) {
    cv::Mat source(23, 41, CV_16UC4);
    cv::RNG(5).fill(source, cv::RNG::UNIFORM, cv::Scalar::all(0), cv::Scalar::all(65536));
    ContextPtr ctx = make_context();
    edit_profiles::set_profile(ctx.get(), edit_profiles::kEverything, false);
    for (const Stage& stage : kStages) {
        vornalix::Pipeline pipeline;
        cv::Mat through_table, pixel_by_pixel;
        vornalix::RowPass folded(source, through_table);
        (pipeline.*stage.in_pass)(folded, ctx->params);
        folded.finish();
        vornalix::RowPass(source, pixel_by_pixel).finish();
        (pipeline.*stage.alone)(pixel_by_pixel, ctx->params);
        EXPECT_EQ(cv::norm(through_table, pixel_by_pixel, cv::NORM_INF), 0.0) << &stage - kStages;
    }
}

TEST(GoldenRender, SyntheticChart) { check_against_golden(chart(), "chart"); }

TEST(GoldenRender, CameraFileCrop) { check_against_golden(camera_crop(), "camera"); }

}  // namespace
