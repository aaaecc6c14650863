#include "support/stage_images.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <tuple>

using vornalix::EditParams;
using vornalix::Pipeline;
using namespace test_images;

namespace {

cv::Mat transformed(const cv::Mat& in, const EditParams& e) { return run_stage(&Pipeline::apply_geometry, in, e); }

EditParams cropped(float x, float y, float w, float h) {
    EditParams e;
    std::tie(e.crop_x, e.crop_y, e.crop_w, e.crop_h) = std::tie(x, y, w, h);
    return e;
}

}  // namespace

// Neutral settings, and steps with non-finite settings, leave the image as it
// is; the steps with usable settings still run.
TEST(Geometry, NeutralAndNonFiniteStepsAreSkippedButTheOthersStillRun) {
    const cv::Mat in = noise(12, 17, -0.5f, 1.5f);
    EXPECT_TRUE(identical(transformed(in, EditParams{}), in));
    EXPECT_TRUE(identical(run_stage(&Pipeline::apply_geometry, in, {{&EditParams::crop_x, kNaN}, {&EditParams::crop_w, 0.5f},
                                                                    {&EditParams::crop_h, 0.5f}, {&EditParams::rotation, kInf}}), in));

    EditParams e = cropped(0.5f, 0, 0.5f, 1);
    e.flip_h = 1;
    e.rotation = kNaN;
    e.perspective_v = -kInf;
    const cv::Mat out = transformed(coordinates(40, 60), e);
    ASSERT_EQ(out.size(), cv::Size(30, 40));
    EXPECT_EQ(out.at<cv::Vec4f>(0, 0)[0], 29.0f);  // mirrored, then the right half kept
    for (float v : {1e6f, -1e30f, 3.4e38f}) {
        const cv::Mat out = run_stage(&Pipeline::apply_geometry, noise(8, 9),
                                      {{&EditParams::rotation, v}, {&EditParams::perspective_h, v}, {&EditParams::perspective_v, -v}});
        EXPECT_TRUE(all_finite(out)) << v;
    }
}

TEST(Geometry, FlipsBothWaysEqualAHalfTurnAndComeBeforeRotation) {
    const cv::Mat in = noise(9, 14);
    EditParams both, mirror_then_turn, turn;
    both.flip_h = both.flip_v = mirror_then_turn.flip_h = 1;
    mirror_then_turn.rotation = turn.rotation = 10;
    cv::Mat turned, mirrored;
    cv::rotate(in, turned, cv::ROTATE_180);
    EXPECT_TRUE(identical(transformed(in, both), turned));
    cv::flip(in, mirrored, 1);
    EXPECT_TRUE(identical(transformed(in, mirror_then_turn), transformed(mirrored, turn)));
}

TEST(Geometry, CropCases) {
    const cv::Mat in = coordinates(800, 1000);
    struct Case { float x, y, w, h; cv::Rect expected; };
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
        EXPECT_EQ(cv::Point(rgb_at(out, 0)[0], rgb_at(out, 0)[1]), c.expected.tl());
        EXPECT_FALSE(out.data >= in.data && out.data < in.dataend) << "crop must not share pixels";
    }
}
