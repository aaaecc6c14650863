#pragma once
// Standalone adjustments: one tone, colour, detail or lens adjustment applied
// to a single image with its own slider value, and estimators that suggest
// such values. Internal to the library; nothing in the pipeline calls them.
//
// Images are four-channel float (CV_32FC4: R, G, B, A, nominally 0..1) unless
// a function says otherwise; colour channels change in place, alpha never.
// A neutral slider value returns at once. Any other call with an empty image
// or one of another type throws std::invalid_argument.

#include <opencv2/core.hpp>

#include <utility>
#include <vector>

namespace vornalix::adjustments {

// ---- Tone ------------------------------------------------------------------
void apply_exposure(cv::Mat& img, float ev);        // factor 2^ev, clamped
void apply_brightness(cv::Mat& img, float value);   // power curve, +100 -> 0.4, -100 -> 2.2
void apply_contrast(cv::Mat& img, float value);     // soft S-curve about mid-grey
void apply_highlights(cv::Mat& img, float value);   // additive, above L = 0.5
void apply_shadows(cv::Mat& img, float value);      // additive, below L = 0.5
void apply_whites(cv::Mat& img, float value);       // divides by 1 + 0.15 value/100
void apply_blacks(cv::Mat& img, float value);       // adds 0.001 value

// ---- Tone curves -------------------------------------------------------------
// Natural cubic spline through control points; c[j] is half the second
// derivative at x[j]. Abscissae must rise strictly: points with equal or
// falling x, or with non-finite coordinates, leave the spline empty, and an
// empty spline is the identity.
struct Spline {
    std::vector<float> x;
    std::vector<float> y;
    std::vector<float> c;

    void build(std::vector<std::pair<float, float>> const& points);
    float eval(float t) const;
};

// 65,536-entry table of the spline through `points` (identity for fewer than two).
void build_tone_curve_lut(std::vector<std::pair<float, float>> const& points, std::vector<float>& lut);

// Master table on R, G, B, then each channel's table; null tables are absent.
// Non-null tables hold 65,536 entries.
void apply_tone_curves(cv::Mat& img, float const* master, float const* red, float const* green, float const* blue);

// ---- White balance -----------------------------------------------------------
// Multipliers from a Planckian-locus model (1667..25000 K, largest 1);
// positive tint lowers green.
void kelvin_tint_to_multipliers(float kelvin, float tint, float& r, float& g, float& b);
void apply_white_balance(cv::Mat& img, float kelvin, float tint);

// ---- Colour ------------------------------------------------------------------
void apply_saturation(cv::Mat& img, float value);
void apply_vibrance(cv::Mat& img, float value);

// One hue band's shifts: degrees, percent, percent.
struct HslTarget {
    float hue = 0.0f;
    float saturation = 0.0f;
    float luminance = 0.0f;
};
// Eight bands: red, orange, yellow, green, aqua, blue, purple, magenta.
void apply_hsl(cv::Mat& img, HslTarget const* targets);

void apply_split_toning(cv::Mat& img, float highlight_hue, float highlight_saturation, float shadow_hue,
                        float shadow_saturation, float balance);

// ---- Detail --------------------------------------------------------------------
void apply_sharpening(cv::Mat& image, float amount, float radius, float threshold);
// Non-local means and bilateral chroma filtering take three or four float
// channels and return four, quantised to 1/255, with alpha 1.
void apply_nr_luminance(cv::Mat& image, float strength);
void apply_nr_color(cv::Mat& image, float strength);
void apply_clarity(cv::Mat& image, float amount);
void apply_texture(cv::Mat& image, float amount);
void apply_dehaze(cv::Mat& image, float amount);
// Per-pixel minimum of R, G, B eroded by a patch x patch square (patch >= 1).
cv::Mat compute_dark_channel(cv::Mat const& image, int patch);
void auto_sharpening(cv::Mat const& image, float& amount, float& radius);
void auto_noise_reduction(cv::Mat const& image, float& luminance, float& color);

// ---- Lens ------------------------------------------------------------------------
void apply_distortion(cv::Mat& image, float amount);
void apply_ca_correction(cv::Mat& image, float amount);
void apply_lens_vignette(cv::Mat& image, float amount);
void apply_defringe(cv::Mat& image, float amount);

// ---- Estimates -----------------------------------------------------------------
// Exposure in stops (-3..3) that brings the median luminance to 18 % grey.
float auto_exposure_ev(cv::Mat const& img);
// Contrast, highlights, shadows (-100..100); whites and blacks are always 0.
void auto_tone(cv::Mat const& img, float& contrast, float& highlights, float& shadows, float& whites,
               float& blacks);
// Grey-world temperature (2000..12000 K) and tint (-150..150).
void auto_white_balance(cv::Mat const& img, float& temperature, float& tint);

}  // namespace vornalix::adjustments
