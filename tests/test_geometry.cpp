#include "pipeline/pipeline.h"
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

}  // namespace

// Neutral settings, and steps with non-finite settings, leave the image as it
// is; the steps with usable settings still run.
TEST(Geometry, NeutralAndNonFiniteStepsAreSkippedButTheOthersStillRun) {
    const cv::Mat in = noise(12, 17, -0.5f, 1.5f);
    EXPECT_TRUE(identical(transformed(in, EditParams{}), in));
    EditParams bad = cropped(kNaN, 0, 0.5f, 0.5f);
    bad.rotation = kInf;
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

    EditParams mirror_then_turn = both, turn;
    mirror_then_turn.flip_v = 0;
    mirror_then_turn.rotation = turn.rotation = 10;
    cv::Mat mirrored;
    cv::flip(in, mirrored, 1);
    EXPECT_TRUE(identical(transformed(in, mirror_then_turn), transformed(mirrored, turn)));
}

// Rotation turns counter-clockwise and fills the corners by reflection;
// perspective moves the corners 15 % at full strength.
TEST(Geometry, RotationAndPerspectiveFigures) {
    EditParams e;
    e.rotation = 90;
    const cv::Mat ones = transformed(flat(10, 20, {1, 1, 1, 1}), e);
    EXPECT_EQ(cv::countNonZero(channel(ones, 0) < 0.999f), 0);  // no black corners
    // A quarter turn counter-clockwise about (10, 5): the source point right of the
    // centre ends up above it.
    const cv::Mat c = transformed(coordinates(10, 20), e);
    EXPECT_NEAR(c.at<cv::Vec4f>(2, 10)[0], 13.0f, 1e-3);
    EXPECT_NEAR(c.at<cv::Vec4f>(2, 10)[1], 5.0f, 1e-3);

    // On 100 x 80 at +100: the source origin shows at (15, 0), the top edge at row 12.
    const cv::Mat ramp = coordinates(80, 100);
    e.rotation = 0;
    e.perspective_h = 100;
    const cv::Vec4f corner = transformed(ramp, e).at<cv::Vec4f>(0, 15);
    EXPECT_NEAR(corner[0], 0.0f, 1e-2);
    EXPECT_NEAR(corner[1], 0.0f, 1e-2);
    e.perspective_h = 0;
    e.perspective_v = 100;
    const cv::Vec4f top = transformed(ramp, e).at<cv::Vec4f>(12, 50);
    EXPECT_NEAR(top[0], 50.0f, 1e-2);
    EXPECT_NEAR(top[1], 0.0f, 1e-2);
}

TEST(Geometry, CropCases) {
    const cv::Mat in = coordinates(800, 1000);
    struct Case {
        float x, y, w, h;
        cv::Rect expected;
    };
    const Case cases[] = {
        {0.25f, 0.25f, 0.5f, 0.5f, {250, 200, 500, 400}},
        {0, 0, 0.995f, 0.995f, {0, 0, 1000, 800}},  // nearly whole: skipped
        {0, 0, 0.98f, 1, {0, 0, 980, 800}},
        {0, 0, 0.01f, 1, {0, 0, 1000, 800}},    // 10 pixels wide: skipped
        {-0.1f, 0, 0.5f, 1, {0, 0, 500, 800}},  // starts at column 0
        {1.2f, 0, 0.5f, 0.5f, {0, 0, 1000, 800}},  // starts beyond the image: skipped
        // Products far beyond the int range are clamped before conversion.
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

// The rendered size follows the crop; non-finite settings leave it whole.
TEST(RenderedSize, NonFiniteSettingsStillRender) {
    auto ctx = make_context();
    cv::Mat rgb(16, 24, CV_16UC3);
    cv::randu(rgb, 0, 65535);
    ctx->pipeline.set_source(vornalix::ImageBuffer(rgb));
    VornalixContext* c = ctx.get();
    vornalix_set_crop(c, 0.25f, 0.25f, 0.5f, 0.75f);
    vornalix_set_rotation(c, 2);
    ASSERT_EQ(vornalix_process(c), 0) << vornalix_last_error(c);
    EXPECT_EQ(vornalix_get_width(c), 12);
    EXPECT_EQ(vornalix_get_height(c), 12);
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
