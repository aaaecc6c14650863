#include "pipeline/pipeline.h"
#include "pipeline/stage_math.h"
#include "support/context_access.h"
#include "support/stage_images.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

using vornalix::EditParams;
using vornalix::Pipeline;
using namespace test_images;

namespace {

cv::Mat transformed(const cv::Mat& in, const EditParams& e) {
    return run_stage(&Pipeline::apply_geometry, in, e);
}

EditParams cropped(float x, float y, float w, float h) {
    EditParams e;
    e.crop_x = x;
    e.crop_y = y;
    e.crop_w = w;
    e.crop_h = h;
    return e;
}

cv::Point2f mapped(const cv::Mat& m, cv::Point2f p) {
    std::vector<cv::Point2f> out;
    cv::perspectiveTransform(std::vector<cv::Point2f>{p}, out, m);
    return out[0];
}

}  // namespace

// Neutral settings, and steps with non-finite settings, leave the image as it
// is; the steps with usable settings still run.
TEST(Geometry, NeutralAndNonFiniteStepsAreSkippedButTheOthersStillRun) {
    const cv::Mat in = noise(12, 17, -0.5f, 1.5f);
    EXPECT_TRUE(identical(transformed(in, EditParams{}), in));
    EXPECT_TRUE(identical(transformed(in, cropped(0, 0, 1, 1)), in));
    EditParams bad = cropped(kNaN, 0, 0.5f, 0.5f);
    bad.rotation = kInf;
    bad.perspective_h = kNaN;
    bad.perspective_v = 10;
    EXPECT_TRUE(identical(transformed(in, bad), in));

    EditParams e = cropped(0.5f, 0, 0.5f, 1);
    e.flip_h = 1;
    e.rotation = kNaN;
    e.perspective_v = -kInf;
    const cv::Mat out = transformed(coordinates(40, 60), e);
    ASSERT_EQ(out.size(), cv::Size(30, 40));
    EXPECT_EQ(out.at<cv::Vec4f>(0, 0)[0], 29.0f);  // mirrored, then the right half kept
    for (float v : {1e6f, -1e30f, 3.4e38f}) {
        EditParams big;
        big.rotation = big.perspective_h = v;
        big.perspective_v = -v;
        EXPECT_TRUE(all_finite(transformed(noise(8, 9), big))) << v;
    }
}

TEST(Geometry, FlipsBothWaysEqualAHalfTurnAndComeBeforeRotation) {
    const cv::Mat in = noise(9, 14);
    EditParams both;
    both.flip_h = both.flip_v = 1;
    cv::Mat turned;
    cv::rotate(in, turned, cv::ROTATE_180);
    EXPECT_TRUE(identical(transformed(in, both), turned));

    EditParams mirror_then_turn;
    mirror_then_turn.flip_h = 1;
    mirror_then_turn.rotation = 10;
    EditParams turn;
    turn.rotation = 10;
    cv::Mat mirrored;
    cv::flip(in, mirrored, 1);
    EXPECT_TRUE(identical(transformed(in, mirror_then_turn), transformed(mirrored, turn)));
}

TEST(Geometry, RotationTurnsCounterClockwiseAndFillsCornersByReflection) {
    EditParams e;
    e.rotation = 90;
    const cv::Mat ones = transformed(flat(10, 20, {1, 1, 1, 1}), e);
    EXPECT_EQ(ones.size(), cv::Size(20, 10));
    EXPECT_EQ(cv::countNonZero(channel(ones, 0) < 0.999f), 0);
    // A quarter turn counter-clockwise about (10, 5): the source point right of the
    // centre ends up above it.
    const cv::Mat c = transformed(coordinates(10, 20), e);
    EXPECT_NEAR(c.at<cv::Vec4f>(2, 10)[0], 13.0f, 1e-3);
    EXPECT_NEAR(c.at<cv::Vec4f>(2, 10)[1], 5.0f, 1e-3);
}

TEST(Geometry, PerspectiveMovesTheCornersFifteenPercentAtFullStrength) {
    // On 100 x 80 at +100: the source origin shows at (15, 0), the top edge at row 12.
    const cv::Mat ramp = coordinates(80, 100);
    EditParams e;
    e.perspective_h = 100;
    const cv::Vec4f corner = transformed(ramp, e).at<cv::Vec4f>(0, 15);
    EXPECT_NEAR(corner[0], 0.0f, 1e-2);
    EXPECT_NEAR(corner[1], 0.0f, 1e-2);
    e.perspective_h = 0;
    e.perspective_v = 100;
    const cv::Vec4f top = transformed(ramp, e).at<cv::Vec4f>(12, 50);
    EXPECT_NEAR(top[0], 50.0f, 1e-2);
    EXPECT_NEAR(top[1], 0.0f, 1e-2);
    // Negative strengths move the corners outward.
    const cv::Mat neg = vornalix::stage_math::perspective_matrix({1000, 800}, -150, -120);
    EXPECT_NEAR(mapped(neg, {0, 0}).x, -150, 1e-3);
    EXPECT_NEAR(mapped(neg, {0, 0}).y, -120, 1e-3);
}

TEST(Geometry, CropCases) {
    const cv::Mat in = coordinates(800, 1000);
    struct Case {
        float x, y, w, h;
        cv::Rect expected;
    };
    const Case cases[] = {
        {0.25f, 0.25f, 0.5f, 0.5f, {250, 200, 500, 400}},
        {0.5f, 0, 0.8f, 1, {500, 0, 500, 800}},
        {0, 0, 0.995f, 0.995f, {0, 0, 1000, 800}},
        {0, 0, 0.98f, 1, {0, 0, 980, 800}},
        {0, 0, 0.01f, 1, {0, 0, 1000, 800}},    // 10 pixels wide: skipped
        {-0.1f, 0, 0.5f, 1, {0, 0, 500, 800}},  // starts at column 0
        {1.2f, 0, 0.5f, 0.5f, {0, 0, 1000, 800}},  // starts beyond the image: skipped
        {0, 0.5f, 1, 1, {0, 400, 1000, 400}},
        // Products far beyond the int range are clamped before conversion.
        {0, 0, 1e10f, 0.5f, {0, 0, 1000, 400}},
        {-1e12f, -3.4e38f, 0.5f, 0.5f, {0, 0, 500, 400}},
        {0.5f, 0.5f, 3.4e38f, 3.4e38f, {500, 400, 500, 400}},
        {0, 0, kInf, 0.5f, {0, 0, 1000, 800}},  // non-finite: no crop
    };
    for (const Case& c : cases) {
        const cv::Mat out = transformed(in, cropped(c.x, c.y, c.w, c.h));
        ASSERT_EQ(out.size(), c.expected.size()) << c.x << " " << c.y << " " << c.w << " " << c.h;
        EXPECT_EQ(out.at<cv::Vec4f>(0, 0)[0], c.expected.x);
        EXPECT_EQ(out.at<cv::Vec4f>(0, 0)[1], c.expected.y);
        EXPECT_FALSE(out.data >= in.data && out.data < in.dataend) << "crop must not share pixels";
    }
}

namespace {

ContextPtr context_with_picture(int width, int height) {
    auto ctx = make_context();
    cv::Mat rgb(height, width, CV_16UC3);
    cv::randu(rgb, 0, 65535);
    ctx->pipeline.set_source(vornalix::ImageBuffer(rgb));
    return ctx;
}

}  // namespace

TEST(RenderedSize, FollowsTheCropThroughTheCInterface) {
    auto ctx = context_with_picture(60, 40);
    VornalixContext* c = ctx.get();
    vornalix_set_crop(c, 0.25f, 0.25f, 0.5f, 0.5f);
    vornalix_set_rotation(c, 2);
    vornalix_set_perspective_h(c, 10);
    vornalix_set_vignette_amount(c, 25);
    vornalix_set_grain_amount(c, 20);
    ASSERT_EQ(vornalix_process(c), 0) << vornalix_last_error(c);
    EXPECT_EQ(vornalix_get_width(c), 30);
    EXPECT_EQ(vornalix_get_height(c), 20);
    std::vector<unsigned char> preview(30 * 20 * 4);
    EXPECT_EQ(vornalix_get_preview(c, preview.data(), static_cast<int>(preview.size())), 0);
}

TEST(RenderedSize, NonFiniteSettingsStillRender) {
    auto ctx = context_with_picture(24, 16);
    VornalixContext* c = ctx.get();
    for (float bad : {kNaN, kInf, -kInf}) {
        for (auto set : {vornalix_set_clarity, vornalix_set_texture, vornalix_set_dehaze, vornalix_set_nr_luminance, vornalix_set_nr_color,
                         vornalix_set_sharpening_amount, vornalix_set_sharpening_radius,
                         vornalix_set_sharpening_threshold, vornalix_set_distortion,
                         vornalix_set_ca_correction, vornalix_set_lens_vignette, vornalix_set_defringe,
                         vornalix_set_rotation, vornalix_set_perspective_h, vornalix_set_perspective_v,
                         vornalix_set_vignette_amount, vornalix_set_vignette_midpoint,
                         vornalix_set_vignette_roundness, vornalix_set_grain_amount, vornalix_set_grain_size})
            set(c, bad);
        vornalix_set_crop(c, bad, 0, bad, 0.5f);
        ASSERT_EQ(vornalix_process(c), 0) << vornalix_last_error(c);
        EXPECT_EQ(vornalix_get_width(c), 24);
        EXPECT_EQ(vornalix_get_height(c), 16);
    }
}
