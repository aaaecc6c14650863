// Tone stages driven directly on small working images.

#include "pipeline/pipeline.h"
#include "support/working_image.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

using vornalix::EditParams;
using vornalix::Pipeline;

namespace {

constexpr float kTol = 1e-4f;

EditParams neutral() {
    EditParams p;
    p.temperature = 6500.0f;
    return p;
}

// Runs one stage with `p` on a grey row.
cv::Mat staged(void (Pipeline::*stage)(cv::Mat&, const EditParams&), const EditParams& p,
              std::initializer_list<float> greys) {
    Pipeline pl;
    cv::Mat img = grey_row(greys);
    (pl.*stage)(img, p);
    return img;
}

}  // namespace

TEST(ToneWhiteBalance, StageScalesClampsAndKeepsTheReddestLimit) {
    EditParams p = neutral();
    p.temperature = 10000.0f;
    cv::Mat img = staged(&Pipeline::apply_white_balance, p, {1.0f, 0.5f});
    EXPECT_RGB_NEAR(rgb_at(img, 0), 0.7910f, 0.8582f, 1.0f, kTol);  // blue clamped
    EXPECT_RGB_NEAR(rgb_at(img, 1), 0.3955f, 0.4291f, 0.5099f, kTol);
    p.temperature = 6500.0f;
    p.tint = 100.0f;
    EXPECT_RGB_NEAR(rgb_at(staged(&Pipeline::apply_white_balance, p, {0.5f}), 0), 0.5f, 0.55f, 0.5f, kTol);

    // The fit is already pure red below about 500 K; 0 K and below continue it
    // instead of taking the logarithm of zero or a negative number.
    p.tint = 0.0f;
    for (float kelvin : {400.0f, 0.0f, -FLT_MAX}) {
        p.temperature = kelvin;
        EXPECT_RGB_NEAR(rgb_at(staged(&Pipeline::apply_white_balance, p, {0.5f}), 0), 0.5f, 0.0f, 0.0f, 0.0f) << kelvin;
    }

    // Near neutral the stage is skipped; a kelvin further it is not.
    const cv::Mat original = varied_image();
    cv::Mat near = original.clone();
    p.temperature = 6500.5f;
    p.tint = 0.05f;
    Pipeline().apply_white_balance(near, p);
    EXPECT_TRUE(same_bits(near, original));
    p.temperature = 6501.0f;
    Pipeline().apply_white_balance(near, p);
    EXPECT_FALSE(same_bits(near, original));
}

TEST(ToneExposure, HugeExposureKeepsBlackPixelsBlack) {
    EditParams p = neutral();
    p.exposure = -1.0f;
    EXPECT_EQ(rgb_at(staged(&Pipeline::apply_exposure, p, {0.25f}), 0)[0], 0.125f);
    // 2^128 overflows to infinity, and 0 * infinity would be NaN.
    for (float ev : {128.0f, FLT_MAX}) {
        p.exposure = ev;
        const cv::Mat img = staged(&Pipeline::apply_exposure, p, {0.0f, 1e-6f});
        EXPECT_RGB_NEAR(rgb_at(img, 0), 0.0f, 0.0f, 0.0f, 0.0f) << ev;
        EXPECT_RGB_NEAR(rgb_at(img, 1), 1.0f, 1.0f, 1.0f, 0.0f) << ev;
    }
}

TEST(ToneBrightness, PowerCurveKeepsEndsAndClampsItsExponent) {
    EditParams p = neutral();
    struct Case { float value, out; };
    // -200 divides by zero, below it the divisor turns negative: both take the
    // strongest darkening (exponent 10) rather than jumping to the brightest.
    for (const Case& c : {Case{100, 0.39685f}, Case{-200, 9.5367e-7f}, Case{-300, 9.5367e-7f}, Case{1e30f, 0.87055f}}) {
        p.brightness = c.value;
        const cv::Mat img = staged(&Pipeline::apply_brightness, p, {0.0f, 0.25f, 1.0f});
        EXPECT_NEAR(rgb_at(img, 0)[0], 0.0f, c.value == 1e30f ? 2e-4f : kTol) << c.value;  // cv::pow's log floor
        EXPECT_NEAR(rgb_at(img, 1)[1], c.out, kTol) << c.value;
        EXPECT_EQ(rgb_at(img, 2)[2], 1.0f) << c.value;
    }
}

TEST(ToneHighlightsShadows, NegativeShadowsDeepenNearBlackToo) {
    EditParams p = neutral();
    struct Case { float highlights, shadows, in, out; };
    // Each slider moves its own end and leaves the other end and the middle alone.
    for (const Case& c : {Case{0, 100, 0.1f, 0.2719f}, Case{-100, 0, 0.9f, 0.6696f}, Case{100, 100, 0.5f, 0.5f},
                          Case{0, 100, 0.9f, 0.9f}}) {
        p.highlights = c.highlights;
        p.shadows = c.shadows;
        const cv::Mat img = staged(&Pipeline::apply_highlights_shadows, p, {c.in});
        EXPECT_RGB_NEAR(rgb_at(img, 0), c.out, c.out, c.out, kTol) << c.highlights << " " << c.shadows << " " << c.in;
    }
    // At shadows -100 the exponent's divisor is zero near L = 0.063 and negative
    // below; such pixels get the strongest deepening (exponent 3), not a lift.
    p.highlights = 0.0f;
    p.shadows = -100.0f;
    const cv::Mat img = staged(&Pipeline::apply_highlights_shadows, p, {0.0039f, 0.03f, 0.063f});
    EXPECT_NEAR(rgb_at(img, 0)[0], std::pow(0.0039f, 3.0f), 1e-9f);
    EXPECT_NEAR(rgb_at(img, 1)[0], std::pow(0.03f, 3.0f), 1e-7f);
    EXPECT_LT(rgb_at(img, 2)[0], 0.0039f);
}

TEST(ToneWhitesBlacks, RemapsTheRangeAndCollapsesToAStep) {
    EditParams p = neutral();
    p.blacks = 100.0f;  // black point 0.1
    cv::Mat img = staged(&Pipeline::apply_whites_blacks, p, {0.05f, 0.55f});
    EXPECT_EQ(rgb_at(img, 0)[0], 0.0f);
    EXPECT_NEAR(rgb_at(img, 1)[1], 0.5f, kTol);
    // whites -500 puts the white point on the black point (divisor 0); beyond,
    // the divisor is negative and would invert the picture.
    for (float whites : {-500.0f, -FLT_MAX}) {
        p.whites = whites;
        img = staged(&Pipeline::apply_whites_blacks, p, {0.1f, 0.3f});
        EXPECT_RGB_NEAR(rgb_at(img, 0), 0.0f, 0.0f, 0.0f, 0.0f) << whites;
        EXPECT_RGB_NEAR(rgb_at(img, 1), 1.0f, 1.0f, 1.0f, 0.0f) << whites;
    }
}

TEST(ToneContrast, SoftSCurveTables) {
    EditParams p = neutral();
    struct Case { float contrast, at0, at25; };
    // 100 is pinned by the whole render; -500 holds the slope at 0.2.
    for (const Case& c : {Case{-500, 0.40385f, 0.45098f}, Case{0.001f, 0.08333f, -1}}) {
        p.contrast = c.contrast;
        const cv::Mat img = staged(&Pipeline::apply_contrast, p, {0.0f, 0.25f, 0.5f});
        EXPECT_NEAR(rgb_at(img, 0)[0], c.at0, kTol) << c.contrast;
        if (c.at25 >= 0) { EXPECT_NEAR(rgb_at(img, 1)[0], c.at25, kTol) << c.contrast; }
        EXPECT_NEAR(rgb_at(img, 2)[0], 0.5f, kTol) << c.contrast;
    }
}

namespace {

// Every stage of the tone and colour groups in pipeline order.
void run_tone_and_colour(cv::Mat& img, const EditParams& p) {
    Pipeline pl;
    pl.apply_white_balance(img, p);
    pl.apply_exposure(img, p);
    pl.apply_brightness(img, p);
    pl.apply_highlights_shadows(img, p);
    pl.apply_whites_blacks(img, p);
    pl.apply_contrast(img, p);
    pl.apply_tone_curves(img, p);
    pl.apply_saturation_vibrance(img, p);
    pl.apply_hsl(img, p);
    pl.apply_split_toning(img, p);
}

// Every float setting the tone and colour stages read.
std::vector<float*> tone_and_colour_fields(EditParams& p) {
    return {&p.temperature, &p.tint, &p.exposure, &p.brightness, &p.highlights, &p.shadows, &p.whites,
            &p.blacks, &p.contrast, &p.saturation, &p.vibrance, &p.hsl[0].hue, &p.hsl[1].saturation,
            &p.hsl[2].luminance, &p.split_highlight_hue, &p.split_highlight_saturation, &p.split_shadow_hue,
            &p.split_shadow_saturation, &p.split_balance};
}

}  // namespace

// Neutral and non-finite settings leave the image bit for bit; extreme finite
// ones, alone or with strong values of all the others, give numbers in 0..1.
TEST(ToneAndColour, NeutralNonFiniteAndExtremeSettings) {
    const cv::Mat original = varied_image();
    cv::Mat img = original.clone();
    EditParams p = neutral();
    p.curves[1].points.clear();          // empty curve
    p.curves[2].points = {{0.3f, 0.9f}};  // single point
    run_tone_and_colour(img, p);
    EXPECT_TRUE(same_bits(img, original));
    cv::Mat empty(0, 0, CV_32FC4);
    p.curves[0].points = {{0.0f, 0.1f}, {1.0f, 0.9f}};
    for (float* f : tone_and_colour_fields(p)) *f = 50.0f;
    run_tone_and_colour(empty, p);
    EXPECT_TRUE(empty.empty());

    const size_t count = tone_and_colour_fields(p).size();
    for (size_t i = 0; i < count; ++i) {
        for (float bad : {std::numeric_limits<float>::quiet_NaN(), INFINITY, -INFINITY}) {
            EditParams q = neutral();
            *tone_and_colour_fields(q)[i] = bad;
            img = original.clone();
            run_tone_and_colour(img, q);
            EXPECT_TRUE(same_bits(img, original)) << "setting " << i << " = " << bad;
        }
        for (float extreme : {FLT_MAX, -FLT_MAX, -200.0f, 1e6f})
            for (bool busy : {false, true}) {
                EditParams q = neutral();
                if (busy)
                    for (float* f : tone_and_colour_fields(q)) *f = 80.0f;
                *tone_and_colour_fields(q)[i] = extreme;
                img = original.clone();
                run_tone_and_colour(img, q);
                EXPECT_TRUE(finite_in_unit_range(img)) << "setting " << i << " = " << extreme << (busy ? " with others" : "");
            }
    }
}
