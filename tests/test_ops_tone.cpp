#include "ops/adjustments.h"
#include "ops/analysis.h"
#include "support/hsl_colours.h"
#include "support/working_image.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace adj = vornalix::adjustments;

namespace {

cv::Mat grey_image(float v, int rows = 4, int cols = 4) { return cv::Mat(rows, cols, CV_32FC4, cv::Scalar(v, v, v, 1.0f)); }

// Runs `apply` on a grey row and returns the red values.
template <class Apply>
std::vector<float> on_greys(std::initializer_list<float> greys, Apply apply) {
    cv::Mat m = grey_row(greys);
    apply(m);
    std::vector<float> out;
    for (int x = 0; x < m.cols; ++x) out.push_back(rgb_at(m, x)[0]);
    return out;
}

}  // namespace

TEST(OpsTone, BrightnessContrastAndExposureFigures) {
    EXPECT_NEAR(on_greys({0.25f}, [](cv::Mat& m) { adj::apply_brightness(m, 100.0f); })[0], 0.574f, 1e-3f);
    const auto steep = on_greys({1.0f, 0.75f}, [](cv::Mat& m) { adj::apply_contrast(m, 100.0f); });  // k = 2.5
    EXPECT_EQ(steep[0], 1.0f);
    EXPECT_NEAR(steep[1], 0.625f / 1.3125f + 0.5f, 1e-6f);
    // k floored at 0.1
    EXPECT_NEAR(on_greys({1.0f}, [](cv::Mat& m) { adj::apply_contrast(m, -100.0f); })[0], 0.5488f, 1e-4f);

    cv::Mat m = grey_row({0.0f, 0.5f});
    adj::apply_exposure(m, 200.0f);  // an overflowing factor still gives numbers
    EXPECT_TRUE(finite_in_unit_range(m));
    EXPECT_EQ(rgb_at(m, 0)[0], 0.0f);
}

TEST(OpsTone, HighlightsShadowsWhitesBlacks) {
    // Each moves its own end and leaves the other half alone.
    EXPECT_EQ(on_greys({0.75f, 0.25f}, [](cv::Mat& m) { adj::apply_highlights(m, -100.0f); }),
              (std::vector<float>{0.75f - 0.03125f, 0.25f}));
    EXPECT_EQ(on_greys({0.25f, 0.75f}, [](cv::Mat& m) { adj::apply_shadows(m, 100.0f); }),
              (std::vector<float>{0.28125f, 0.75f}));
    EXPECT_NEAR(on_greys({1.0f}, [](cv::Mat& m) { adj::apply_whites(m, 100.0f); })[0], 1.0f / 1.15f, 1e-6f);
    EXPECT_NEAR(on_greys({0.0f}, [](cv::Mat& m) { adj::apply_blacks(m, 100.0f); })[0], 0.1f, 1e-6f);
    EXPECT_EQ(on_greys({0.05f}, [](cv::Mat& m) { adj::apply_blacks(m, -100.0f); })[0], 0.0f);
}

TEST(OpsTone, SplineAndCurveTable) {
    adj::Spline two;
    two.build({{0.2f, 0.1f}, {0.8f, 0.9f}});
    EXPECT_EQ(two.eval(0.1f), 0.1f);  // flat beyond the end points

    std::vector<float> lut;
    adj::build_tone_curve_lut({{0.0f, 0.0f}, {0.5f, 0.7f}, {1.0f, 1.0f}}, lut);
    ASSERT_EQ(lut.size(), 65536u);
    EXPECT_NEAR(lut[16384], 0.3875f, 1e-4f);  // the natural spline at 0.25
    // Equal or falling abscissae would divide by zero: the curve stays the identity.
    adj::build_tone_curve_lut({{0.0f, 0.0f}, {0.5f, 0.9f}, {0.5f, 0.1f}, {1.0f, 1.0f}}, lut);
    for (int i : {0, 40000, 65535}) EXPECT_NEAR(lut[i], i / 65535.0f, 1e-6f);
}

TEST(OpsTone, ToneCurvesApplyMasterThenChannel) {
    std::vector<float> half(65536), invert(65536);
    for (int i = 0; i < 65536; ++i) {
        half[i] = i / 65535.0f * 0.5f;
        invert[i] = 1.0f - i / 65535.0f;
    }
    cv::Mat m = working_row({{1.0f, 0.5f, -0.2f}});
    adj::apply_tone_curves(m, half.data(), invert.data(), nullptr, nullptr);
    EXPECT_RGB_NEAR(rgb_at(m, 0), 0.5f, 0.25f, 0.0f, 1e-4f);
}

TEST(OpsTone, KelvinTintMultipliers) {
    float r0, g0, b0, r1, g1, b1;
    adj::kelvin_tint_to_multipliers(3000.0f, 0.0f, r0, g0, b0);
    EXPECT_RGB_NEAR(cv::Vec3f(r0, g0, b0), 0.0035f, 0.3941f, 1.0f, 2e-3f);
    adj::kelvin_tint_to_multipliers(1000.0f, 0.0f, r0, g0, b0);  // below the fit's range: its lower limit
    adj::kelvin_tint_to_multipliers(1667.0f, 0.0f, r1, g1, b1);
    EXPECT_EQ(g0, g1);
    adj::kelvin_tint_to_multipliers(6500.0f, 0.0f, r0, g0, b0);
    adj::kelvin_tint_to_multipliers(6500.0f, 50.0f, r1, g1, b1);
    EXPECT_NEAR(g1, 0.95f * g0, 1e-6f);

    cv::Mat m = grey_row({1.0f});
    adj::apply_white_balance(m, 10000.0f, 0.0f);
    EXPECT_RGB_NEAR(rgb_at(m, 0), 1.0f, 0.7185f, 0.491f, 2e-3f);
}

TEST(OpsColour, SaturationVibranceHslAndSplitToning) {
    const cv::Vec3f half_sat = rgb_of_hsl(0.0f, 0.5f, 0.5f), full = rgb_of_hsl(0.3f, 1.0f, 0.5f);
    cv::Mat m = working_row({half_sat});
    adj::apply_saturation(m, 50.0f);
    EXPECT_NEAR(hsl_of(rgb_at(m, 0))[1], 0.75f, 1e-5f);
    m = working_row({half_sat, full});
    adj::apply_vibrance(m, 100.0f);
    EXPECT_NEAR(hsl_of(rgb_at(m, 0))[1], 0.6f, 1e-5f);
    EXPECT_RGB_NEAR(rgb_at(m, 1), full[0], full[1], full[2], 1e-6f);  // already saturated: untouched

    // Green band, centre 1/3, lifts l by 0.5 w on a raised cosine of half-width 0.09;
    // past the band the cosine must not rise again.
    std::array<adj::HslTarget, 8> t{};
    t[3].luminance = 100.0f;
    const float centre = 1.0f / 3.0f;
    m = working_row({rgb_of_hsl(centre + 0.045f, 0.5f, 0.25f), rgb_of_hsl(centre + 0.18f, 0.5f, 0.25f)});
    adj::apply_hsl(m, t.data());
    EXPECT_NEAR(hsl_of(rgb_at(m, 0))[2], 0.5f, 1e-4f);
    EXPECT_NEAR(hsl_of(rgb_at(m, 1))[2], 0.25f, 1e-5f);

    m = grey_row({0.5f});
    adj::apply_split_toning(m, 40.0f, 100.0f, 220.0f, 100.0f, 0.0f);
    EXPECT_RGB_NEAR(hsl_of(rgb_at(m, 0)), 130.0f / 360.0f, 0.3f, 0.5f, 1e-5f);
}

TEST(OpsTone, RefusesImagesItCannotRead) {
    cv::Mat empty;
    cv::Mat three(2, 2, CV_32FC3, cv::Scalar::all(0.5));
    cv::Mat bytes(2, 2, CV_8UC4, cv::Scalar::all(100));
    for (cv::Mat* m : {&empty, &three, &bytes}) {
        EXPECT_THROW(adj::apply_contrast(*m, 10.0f), std::invalid_argument);
        EXPECT_THROW(adj::apply_white_balance(*m, 5000.0f, 0.0f), std::invalid_argument);
        EXPECT_THROW(adj::auto_exposure_ev(*m), std::invalid_argument);
    }
    EXPECT_NO_THROW(adj::apply_contrast(three, 0.0f));  // a neutral value touches nothing
}

TEST(OpsEstimates, ExposureToneAndWhiteBalance) {
    EXPECT_NEAR(adj::auto_exposure_ev(grey_image(0.18f)), std::log2(0.18f / (45.0f / 255.0f)), 1e-5f);
    EXPECT_EQ(adj::auto_exposure_ev(grey_image(-5.0f)), 3.0f);  // negative luminance stays in the first bin

    float c, h, s, w, b;
    cv::Mat m = grey_image(0.5f, 10, 10);
    m.at<cv::Vec4f>(0, 0) = {1.0f, 1.0f, 1.0f, 1.0f};  // exactly 1 % clipped: not above the threshold
    adj::auto_tone(m, c, h, s, w, b);
    EXPECT_EQ(h, 0.0f);
    cv::Mat dark = grey_image(0.0f, 2, 2);
    dark.at<cv::Vec4f>(0, 0) = {1.0f, 1.0f, 1.0f, 1.0f};
    adj::auto_tone(dark, c, h, s, w, b);
    EXPECT_EQ(s, 60.0f);
    EXPECT_NEAR(c, 40.0f * (0.2f - std::sqrt(3.0f) / 4.0f) / 0.2f, 1e-4f);  // sigma = sqrt(3)/4

    // Grey-world white balance.
    const auto solid = [](float red, float green, float blue) {
        return cv::Mat(2, 2, CV_32FC4, cv::Scalar(red, green, blue, 0.5f));
    };
    float t, tint;
    adj::auto_white_balance(solid(0.6f, 0.5f, 0.4f), t, tint);
    EXPECT_NEAR(t, 4491.0f, 1.0f);
    adj::auto_white_balance(solid(0.3f, 0.6f, 0.3f), t, tint);
    EXPECT_NEAR(tint, -150.0f * (0.6f / 0.4f - 1.0f), 1e-3f);
    // Black, and no red or blue: no measurable cast.
    for (const cv::Mat& flat : {solid(0.0f, 0.0f, 0.0f), solid(0.0f, 0.6f, 0.0f)}) {
        adj::auto_white_balance(flat, t, tint);
        EXPECT_EQ(t, 5500.0f);
    }
}

TEST(OpsHistogram, BinsAndTheEstimatesFromThem) {
    unsigned int r[256], g[256], b[256], l[256];
    cv::Mat m = working_row({{1.0f, 0.0f, 0.5f}, {-0.3f, 2.0f, 0.2f}});
    vornalix::analysis::compute_histogram(m, r, g, b, l);
    EXPECT_EQ(r[255], 1u);
    EXPECT_EQ(r[0], 1u);
    EXPECT_EQ(b[128], 1u);  // trunc(127.5 + 0.5)
    EXPECT_EQ(l[63], 1u);  // 0.2126 + 0.0722 x 0.5 of 255
    r[7] = 9;
    EXPECT_THROW(vornalix::analysis::compute_histogram(cv::Mat(), r, g, b, l), std::invalid_argument);
    EXPECT_EQ(r[7], 0u);  // cleared even when refused

    using namespace vornalix::analysis;
    unsigned int hist[256] = {};
    float e, c, hi, sh, w, bl;
    auto tone = [&] { auto_tone_from_histogram(hist, c, hi, sh, w, bl); };

    auto_exposure_from_histogram(hist, e);  // an empty histogram
    tone();
    EXPECT_NEAR(e, 0.35f * std::log2(0.84f), 1e-5f);
    EXPECT_NEAR(c, 15.0f, 1e-5f);
    EXPECT_EQ(bl, 5.0f);

    hist[0] = 300;  // spread out: negative contrast, bounded at -20
    hist[255] = 300;
    tone();
    EXPECT_GE(c, -20.0f);
    EXPECT_LT(c, 0.0f);
}
