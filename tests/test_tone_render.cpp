// The tone and colour stages through the C interface: a synthetic 16-bit PNG
// loaded, edited with the setters and rendered into an 8-bit preview.

#include "support/context_access.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// Four grey patches 0.25, 0.5, 0.75, 1.0, each 2x2, written as a 16-bit PNG.
class ToneRender : public ::testing::Test {
protected:
    static constexpr float kGreys[4] = {0.25f, 0.5f, 0.75f, 1.0f};

    void SetUp() override {
        cv::Mat img(2, 8, CV_16UC3);
        for (int x = 0; x < 8; ++x) img.col(x).setTo(cv::Scalar::all(std::lround(kGreys[x / 2] * 65535.0f)));
        const std::string path = dir_.file("greys.png");
        ASSERT_TRUE(cv::imwrite(path, img));
        ASSERT_EQ(vornalix_load_arw(ctx_.get(), path.c_str(), 1), 0) << vornalix_last_error(ctx_.get());
        vornalix_set_temperature(ctx_.get(), 6500.0f);  // neutral white balance unless a test sets it
    }

    // R, G, B of the preview at patch `p` (0..3).
    cv::Vec3i preview_patch(int p) {
        std::vector<unsigned char> buf(2 * 8 * 4);
        EXPECT_EQ(vornalix_get_preview(ctx_.get(), buf.data(), static_cast<int>(buf.size())), 0)
            << vornalix_last_error(ctx_.get());
        return {buf[p * 8], buf[p * 8 + 1], buf[p * 8 + 2]};
    }

    void expect_within_a_level(int p, float r, float g, float b) {
        const cv::Vec3i got = preview_patch(p);
        const float want[3] = {r, g, b};
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c] * 255.0f, 1.0f) << "patch " << p << ", channel " << c;
    }

    vornalix::testing::TempDir dir_;
    ContextPtr ctx_ = make_context();
};

}  // namespace

// The stage figures themselves are pinned down stage by stage; here they must
// reach the 8-bit preview through loading, the setters and the render.
TEST_F(ToneRender, NeutralSettingsKeepTheSourceAndSettersReachThePreview) {
    for (int p = 0; p < 4; ++p) expect_within_a_level(p, kGreys[p], kGreys[p], kGreys[p]);
    vornalix_set_temperature(ctx_.get(), 5500.0f);
    expect_within_a_level(1, 0.5f, 0.5f * 0.934607f, 0.5f * 0.888833f);
}

TEST_F(ToneRender, NonFiniteAndOutOfScaleValuesRenderAFiniteImage) {
    std::vector<cv::Vec3i> neutral;
    for (int p = 0; p < 4; ++p) neutral.push_back(preview_patch(p));

    const float nan = std::numeric_limits<float>::quiet_NaN();
    vornalix_set_temperature(ctx_.get(), nan);
    vornalix_set_exposure(ctx_.get(), nan);
    vornalix_set_brightness(ctx_.get(), std::numeric_limits<float>::infinity());
    vornalix_set_whites(ctx_.get(), -std::numeric_limits<float>::infinity());
    vornalix_set_hsl(ctx_.get(), 0, nan, nan, nan);
    vornalix_set_split_toning(ctx_.get(), 0, nan, nan, nan);
    const float curve[] = {0.0f, nan, 1.0f, 1.0f};
    vornalix_set_tone_curve(ctx_.get(), 1, curve, 2);
    for (int p = 0; p < 4; ++p) {
        const cv::Vec3i got = preview_patch(p);
        EXPECT_EQ(got[1], neutral[p][1]);  // only red passes the NaN curve
        EXPECT_EQ(got[2], neutral[p][2]);
    }

    // Zero kelvin keeps pure red, 300 stops saturate without NaN on black, and a
    // collapsed whites/blacks range is a step at the black point.
    vornalix_reset_tone_curve(ctx_.get(), 1);
    vornalix_set_temperature(ctx_.get(), 0.0f);
    vornalix_set_exposure(ctx_.get(), 300.0f);
    vornalix_set_whites(ctx_.get(), -500.0f);
    for (int p = 0; p < 4; ++p) expect_within_a_level(p, 1.0f, 0.0f, 0.0f);
}
