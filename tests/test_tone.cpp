// Tone stages driven directly on small working images.

#include "pipeline/pipeline.h"
#include "pipeline/tone_math.h"
#include "support/working_image.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>

using vornalix::EditParams;
using vornalix::Pipeline;

namespace {

constexpr float kTol = 1e-4f;

EditParams neutral() {
    EditParams p;
    p.temperature = 6500.0f;
    return p;
}

}  // namespace

TEST(ToneWhiteBalance, MultipliersFollowTheBlackBodyAgainst6500K) {
    using vornalix::tone::blackbody_multipliers;
    const auto white = vornalix::tone::blackbody_colour(6500.0f);
    EXPECT_NEAR(white.r, 1.0f, 1e-6f);
    EXPECT_NEAR(white.g, 0.9965102f, 1e-6f);
    EXPECT_NEAR(white.b, 0.98055655f, 1e-6f);

    struct Case { float kelvin, r, g, b; };
    for (const Case& c : {Case{5500, 1.0f, 0.934607f, 0.888833f}, Case{3000, 1.0f, 0.6973f, 0.4396f},
                          Case{10000, 0.7910f, 0.8582f, 1.0198f}, Case{6500, 1, 1, 1}, Case{1900, 1.0f, 0.51854f, 0.0f}}) {
        const auto m = blackbody_multipliers(c.kelvin, 0.0f, 6500.0f, 0.001f);
        EXPECT_NEAR(m.r, c.r, kTol) << c.kelvin;
        EXPECT_NEAR(m.g, c.g, kTol) << c.kelvin;
        EXPECT_NEAR(m.b, c.b, kTol) << c.kelvin;
    }
}

TEST(ToneWhiteBalance, StageScalesAndClamps) {
    Pipeline pl;
    EditParams p = neutral();

    cv::Mat img = grey_row({1.0f, 0.5f});
    p.temperature = 5500.0f;
    pl.apply_white_balance(img, p);
    EXPECT_RGB_NEAR(rgb_at(img, 0), 1.0f, 0.934607f, 0.888833f, kTol);

    img = grey_row({1.0f, 0.5f});
    p.temperature = 10000.0f;
    pl.apply_white_balance(img, p);
    EXPECT_RGB_NEAR(rgb_at(img, 0), 0.7910f, 0.8582f, 1.0f, kTol);  // blue clamped
    EXPECT_RGB_NEAR(rgb_at(img, 1), 0.3955f, 0.4291f, 0.5099f, kTol);

    img = grey_row({1.0f, 0.5f});
    p.temperature = 6500.0f;
    p.tint = 100.0f;
    pl.apply_white_balance(img, p);
    EXPECT_RGB_NEAR(rgb_at(img, 0), 1.0f, 1.0f, 1.0f, kTol);
    EXPECT_RGB_NEAR(rgb_at(img, 1), 0.5f, 0.55f, 0.5f, kTol);
}

TEST(ToneWhiteBalance, GuardToleratesNearNeutral) {
    Pipeline pl;
    EditParams p = neutral();
    const cv::Mat original = varied_image();
    cv::Mat img = original.clone();
    p.temperature = 6500.5f;
    p.tint = 0.05f;
    pl.apply_white_balance(img, p);
    EXPECT_TRUE(same_bits(img, original));

    p.temperature = 6501.0f;
    p.tint = 0.0f;
    pl.apply_white_balance(img, p);
    EXPECT_FALSE(same_bits(img, original));
    EXPECT_LT(cv::norm(img, original, cv::NORM_INF), 1e-3);
}

TEST(ToneWhiteBalance, TemperatureAtOrBelowZeroKeepsTheReddestLimit) {
    // The fit is already pure red below about 500 K; 0 K and below continue it
    // instead of taking the logarithm of zero or a negative number.
    Pipeline pl;
    EditParams p = neutral();
    for (float kelvin : {400.0f, 0.0f, -3000.0f, -FLT_MAX}) {
        cv::Mat img = grey_row({0.5f, 1.0f});
        p.temperature = kelvin;
        pl.apply_white_balance(img, p);
        EXPECT_RGB_NEAR(rgb_at(img, 0), 0.5f, 0.0f, 0.0f, 0.0f) << kelvin;
        EXPECT_RGB_NEAR(rgb_at(img, 1), 1.0f, 0.0f, 0.0f, 0.0f) << kelvin;
    }
}

TEST(ToneExposure, DoublesHalvesAndClampsAtOne) {
    Pipeline pl;
    EditParams p = neutral();
    cv::Mat img = grey_row({0.0f, 0.25f, 0.75f});
    p.exposure = 1.0f;
    pl.apply_exposure(img, p);
    EXPECT_RGB_NEAR(rgb_at(img, 1), 0.5f, 0.5f, 0.5f, 0.0f);
    EXPECT_RGB_NEAR(rgb_at(img, 2), 1.0f, 1.0f, 1.0f, 0.0f);

    img = grey_row({0.25f});
    p.exposure = -1.0f;
    pl.apply_exposure(img, p);
    EXPECT_RGB_NEAR(rgb_at(img, 0), 0.125f, 0.125f, 0.125f, 0.0f);
}

TEST(ToneExposure, HugeExposureKeepsBlackPixelsBlack) {
    // 2^128 overflows to infinity, and 0 * infinity would be NaN.
    Pipeline pl;
    EditParams p = neutral();
    for (float ev : {128.0f, 200.0f, FLT_MAX}) {
        cv::Mat img = grey_row({0.0f, 1e-6f, 1.0f});
        p.exposure = ev;
        pl.apply_exposure(img, p);
        EXPECT_RGB_NEAR(rgb_at(img, 0), 0.0f, 0.0f, 0.0f, 0.0f) << ev;
        EXPECT_RGB_NEAR(rgb_at(img, 1), 1.0f, 1.0f, 1.0f, 0.0f) << ev;
        EXPECT_RGB_NEAR(rgb_at(img, 2), 1.0f, 1.0f, 1.0f, 0.0f) << ev;
    }
}

TEST(ToneBrightness, PowerCurveKeepsEndsAndClampsItsExponent) {
    Pipeline pl;
    EditParams p = neutral();
    struct Case { float value, out; };
    // -200 divides by zero, below it the divisor turns negative: both take the
    // strongest darkening (exponent 10) rather than jumping to the brightest.
    for (const Case& c : {Case{100, 0.39685f}, Case{-100, 0.0625f}, Case{-200, 9.5367e-7f}, Case{-300, 9.5367e-7f},
                          Case{1e30f, 0.87055f}}) {
        cv::Mat img = grey_row({0.0f, 0.25f, 1.0f});
        p.brightness = c.value;
        pl.apply_brightness(img, p);
        EXPECT_NEAR(rgb_at(img, 0)[0], 0.0f, c.value == 1e30f ? 2e-4f : kTol) << c.value;  // cv::pow's log floor
        EXPECT_NEAR(rgb_at(img, 1)[1], c.out, kTol) << c.value;
        EXPECT_NEAR(rgb_at(img, 2)[2], 1.0f, 0.0f) << c.value;
    }
}

TEST(ToneHighlightsShadows, FiguresOnGreyPixels) {
    Pipeline pl;
    EditParams p = neutral();
    struct Case { float highlights, shadows, in, out; };
    for (const Case& c : {Case{0, 100, 0.1f, 0.2719f}, Case{0, -100, 0.1f, 0.001f}, Case{100, 0, 0.9f, 1.0f},
                          Case{-100, 0, 0.9f, 0.6696f}, Case{100, 100, 0.5f, 0.5f}, Case{-100, -100, 0.5f, 0.5f},
                          Case{100, 0, 0.1f, 0.1f}, Case{0, 100, 0.9f, 0.9f}}) {
        cv::Mat img = grey_row({c.in});
        p.highlights = c.highlights;
        p.shadows = c.shadows;
        pl.apply_highlights_shadows(img, p);
        EXPECT_RGB_NEAR(rgb_at(img, 0), c.out, c.out, c.out, kTol) << c.highlights << " " << c.shadows << " " << c.in;
    }
}

TEST(ToneHighlightsShadows, NegativeShadowsDeepenNearBlackToo) {
    // At shadows -100 the exponent's divisor is zero near L = 0.063 and negative
    // below; such pixels get the strongest deepening (exponent 3), not a lift.
    Pipeline pl;
    EditParams p = neutral();
    p.shadows = -100.0f;
    cv::Mat img = grey_row({0.0039f, 0.03f, 0.063f});
    pl.apply_highlights_shadows(img, p);
    EXPECT_NEAR(rgb_at(img, 0)[0], std::pow(0.0039f, 3.0f), 1e-9f);
    EXPECT_NEAR(rgb_at(img, 1)[0], std::pow(0.03f, 3.0f), 1e-7f);
    for (int x = 0; x < 3; ++x) EXPECT_LT(rgb_at(img, x)[0], 0.0039f);
}

TEST(ToneWhitesBlacks, RemapsTheRange) {
    Pipeline pl;
    EditParams p = neutral();
    cv::Mat img = grey_row({0.05f, 0.1f, 0.55f, 1.0f});
    p.blacks = 100.0f;
    pl.apply_whites_blacks(img, p);
    EXPECT_NEAR(rgb_at(img, 0)[0], 0.0f, 0.0f);
    EXPECT_NEAR(rgb_at(img, 1)[0], 0.0f, kTol);
    EXPECT_NEAR(rgb_at(img, 2)[1], 0.5f, kTol);
    EXPECT_NEAR(rgb_at(img, 3)[2], 1.0f, kTol);

    img = grey_row({1.0f, 0.8f});
    p.blacks = 0.0f;
    p.whites = 100.0f;
    pl.apply_whites_blacks(img, p);
    EXPECT_NEAR(rgb_at(img, 0)[0], 0.83333f, kTol);

    img = grey_row({1.0f, 0.8f});
    p.whites = -100.0f;
    pl.apply_whites_blacks(img, p);
    EXPECT_NEAR(rgb_at(img, 0)[0], 1.0f, 0.0f);
    EXPECT_NEAR(rgb_at(img, 1)[0], 1.0f, kTol);
}

TEST(ToneWhitesBlacks, CollapsedRangeBecomesAStepAtTheBlackPoint) {
    // whites -500 puts the white point on the black point (divisor 0); beyond,
    // the divisor is negative and would invert the picture.
    Pipeline pl;
    EditParams p = neutral();
    for (float whites : {-500.0f, -800.0f, -FLT_MAX}) {
        cv::Mat img = grey_row({0.0f, 0.1f, 0.3f, 1.0f});
        p.whites = whites;
        p.blacks = 100.0f;  // black point 0.1
        pl.apply_whites_blacks(img, p);
        EXPECT_RGB_NEAR(rgb_at(img, 0), 0.0f, 0.0f, 0.0f, 0.0f) << whites;
        EXPECT_RGB_NEAR(rgb_at(img, 1), 0.0f, 0.0f, 0.0f, 0.0f) << whites;
        EXPECT_RGB_NEAR(rgb_at(img, 2), 1.0f, 1.0f, 1.0f, 0.0f) << whites;
        EXPECT_RGB_NEAR(rgb_at(img, 3), 1.0f, 1.0f, 1.0f, 0.0f) << whites;
    }
}

TEST(ToneContrast, SoftSCurveTables) {
    Pipeline pl;
    EditParams p = neutral();
    struct Case { float contrast; float out[5]; };
    for (const Case& c : {Case{100, {0.0f, 0.11864f, 0.5f, 0.88136f, 1.0f}},
                          Case{-100, {0.40385f, 0.45098f, 0.5f, 0.54902f, 0.59615f}},
                          Case{-500, {0.40385f, 0.45098f, 0.5f, 0.54902f, 0.59615f}},  // slope held at 0.2
                          Case{0.001f, {0.08333f, -1, 0.5f, -1, 0.91667f}}}) {
        cv::Mat img = grey_row({0.0f, 0.25f, 0.5f, 0.75f, 1.0f});
        p.contrast = c.contrast;
        pl.apply_contrast(img, p);
        for (int x = 0; x < 5; ++x)
            if (c.out[x] >= 0) EXPECT_NEAR(rgb_at(img, x)[0], c.out[x], kTol) << c.contrast << " at " << x;
    }
}

// Every stage of the tone and colour groups in pipeline order.
static void run_tone_and_colour(Pipeline& pl, cv::Mat& img, const EditParams& p) {
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

TEST(ToneAndColour, NeutralSettingsLeaveTheImageBitForBit) {
    Pipeline pl;
    const cv::Mat original = varied_image();
    cv::Mat img = original.clone();
    EditParams p = neutral();
    p.curves[1].points.clear();                  // empty curve
    p.curves[2].points = {{0.3f, 0.9f}};          // single point
    run_tone_and_colour(pl, img, p);
    EXPECT_TRUE(same_bits(img, original));

    cv::Mat empty(0, 0, CV_32FC4);
    EditParams busy = neutral();
    busy.temperature = 3000.0f;
    busy.exposure = busy.brightness = busy.shadows = busy.whites = busy.contrast = 50.0f;
    busy.curves[0].points = {{0.0f, 0.1f}, {1.0f, 0.9f}};
    busy.saturation = busy.hsl[0].hue = busy.split_shadow_saturation = 50.0f;
    run_tone_and_colour(pl, empty, busy);
    EXPECT_TRUE(empty.empty());
}

namespace {

// Every float setting the tone and colour stages read, for the degenerate-value sweep.
std::vector<std::pair<const char*, std::function<float&(EditParams&)>>> tone_and_colour_fields() {
    return {
        {"temperature", [](EditParams& p) -> float& { return p.temperature; }},
        {"tint", [](EditParams& p) -> float& { return p.tint; }},
        {"exposure", [](EditParams& p) -> float& { return p.exposure; }},
        {"brightness", [](EditParams& p) -> float& { return p.brightness; }},
        {"highlights", [](EditParams& p) -> float& { return p.highlights; }},
        {"shadows", [](EditParams& p) -> float& { return p.shadows; }},
        {"whites", [](EditParams& p) -> float& { return p.whites; }},
        {"blacks", [](EditParams& p) -> float& { return p.blacks; }},
        {"contrast", [](EditParams& p) -> float& { return p.contrast; }},
        {"saturation", [](EditParams& p) -> float& { return p.saturation; }},
        {"vibrance", [](EditParams& p) -> float& { return p.vibrance; }},
        {"hsl hue", [](EditParams& p) -> float& { return p.hsl[0].hue; }},
        {"hsl saturation", [](EditParams& p) -> float& { return p.hsl[1].saturation; }},
        {"hsl luminance", [](EditParams& p) -> float& { return p.hsl[2].luminance; }},
        {"split highlight hue", [](EditParams& p) -> float& { return p.split_highlight_hue; }},
        {"split highlight saturation", [](EditParams& p) -> float& { return p.split_highlight_saturation; }},
        {"split shadow hue", [](EditParams& p) -> float& { return p.split_shadow_hue; }},
        {"split shadow saturation", [](EditParams& p) -> float& { return p.split_shadow_saturation; }},
        {"split balance", [](EditParams& p) -> float& { return p.split_balance; }},
    };
}

}  // namespace

TEST(ToneAndColour, NonFiniteSettingsCountAsNeutral) {
    Pipeline pl;
    const cv::Mat original = varied_image();
    const float inf = std::numeric_limits<float>::infinity();
    for (auto& [name, field] : tone_and_colour_fields())
        for (float bad : {std::numeric_limits<float>::quiet_NaN(), inf, -inf}) {
            EditParams p = neutral();
            field(p) = bad;
            cv::Mat img = original.clone();
            run_tone_and_colour(pl, img, p);
            EXPECT_TRUE(same_bits(img, original)) << name << " = " << bad;
        }
}

TEST(ToneAndColour, ExtremeFiniteSettingsGiveAFiniteImage) {
    Pipeline pl;
    const cv::Mat original = varied_image();
    for (auto& [name, field] : tone_and_colour_fields())
        for (float extreme : {FLT_MAX, -FLT_MAX, 1e30f, -1e30f, -200.0f, 1e6f, -1e6f}) {
            // Each setting alone, and together with strong values of all the others.
            for (bool busy : {false, true}) {
                EditParams p = neutral();
                if (busy)
                    for (auto& [other, f] : tone_and_colour_fields()) f(p) = 80.0f;
                field(p) = extreme;
                cv::Mat img = original.clone();
                run_tone_and_colour(pl, img, p);
                EXPECT_TRUE(finite_in_unit_range(img)) << name << " = " << extreme << (busy ? " with others" : "");
            }
        }
}
