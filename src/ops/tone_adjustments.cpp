// Standalone tone, tone-curve, white-balance and colour adjustments, on the
// formulas the pipeline's tone and colour stages share, with their own constants.

#include "ops/adjustments.h"
#include "ops/checks.h"
#include "pipeline/pixel.h"
#include "pipeline/plane_math.h"
#include "pipeline/stage_loops.h"
#include "pipeline/tone_math.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace vornalix::adjustments {

using pixel::clamp01;

namespace {

// Pixels with max - min below this are grey and have no hue.
constexpr float kGreyThreshold = 1e-7f;
constexpr int kLutSize = 65536;

// Adds delta(L) to R, G and B of every pixel, clamped.
template <class Delta>
void add_by_luminance(cv::Mat& img, Delta delta) {
    for_each_rgb(img, [&](float& r, float& g, float& b) {
        const float d = delta(pixel::luminance(r, g, b));
        r = clamp01(r + d);
        g = clamp01(g + d);
        b = clamp01(b + d);
    });
}

// Highlights and shadows: adds value / 100 * depth(L)^3 / 4 to R, G and B.
template <class Depth>
void add_cubed_depth(cv::Mat& img, float value, const char* function, Depth depth) {
    if (value == 0.0f) return;
    ops::require_rgba_float(img, function);
    const float v = value / 100.0f;
    add_by_luminance(img, [&](float lum) {
        const float d = depth(lum);
        return v * d * d * d * 0.25f;
    });
}

// Runs fn(hsl) on every non-grey pixel (skipped when below min_saturation) and
// writes the rebuilt colour back.
template <class Fn>
void for_each_hsl(cv::Mat& img, float min_saturation, Fn fn) {
    for_each_rgb(img, [&](float& r, float& g, float& b) {
        pixel::Hsl hsl;
        if (!pixel::rgb_to_hsl(r, g, b, kGreyThreshold, hsl) || hsl.s < min_saturation) return;
        fn(hsl);
        pixel::hsl_to_rgb(hsl, r, g, b);
    });
}

float wrap_turn(float h) {
    const float shifted = h + 2.0f;
    return shifted - std::floor(shifted);
}

}  // namespace

void apply_exposure(cv::Mat& img, float ev) {
    if (ev == 0.0f) return;
    ops::require_rgba_float(img, "apply_exposure");
    const float factor = tone::exposure_factor(ev);
    for_each_colour_plane(img, [&](cv::Mat& plane) {
        plane.convertTo(plane, -1, factor, 0.0);
        cv::threshold(plane, plane, 1.0, 0.0, cv::THRESH_TRUNC);
        cv::threshold(plane, plane, 0.0, 0.0, cv::THRESH_TOZERO);
    });
}

void apply_brightness(cv::Mat& img, float value) {
    if (value == 0.0f) return;
    ops::require_rgba_float(img, "apply_brightness");
    const float per_unit = value > 0.0f ? 0.6f : 1.2f;
    const float gamma = std::max(std::min(1.0f - per_unit * value / 100.0f, 10.0f), 0.1f);
    for_each_colour_plane(img, [&](cv::Mat& plane) {
        cv::pow(plane, gamma, plane);
        stage_math::clamp_plane(plane);
    });
}

void apply_contrast(cv::Mat& img, float value) {
    if (value == 0.0f) return;
    ops::require_rgba_float(img, "apply_contrast");
    const float slope = std::max(1.0f + 1.5f * value / 100.0f, 0.1f);
    for_each_rgb(img, [&](float& r, float& g, float& b) {
        r = clamp01(tone::soft_contrast(r, slope, 0.5f));
        g = clamp01(tone::soft_contrast(g, slope, 0.5f));
        b = clamp01(tone::soft_contrast(b, slope, 0.5f));
    });
}

void apply_highlights(cv::Mat& img, float value) {
    add_cubed_depth(img, value, "apply_highlights", [](float lum) { return tone::highlight_depth(lum); });
}

void apply_shadows(cv::Mat& img, float value) {
    add_cubed_depth(img, value, "apply_shadows", [](float lum) { return tone::shadow_depth(lum); });
}

void apply_whites(cv::Mat& img, float value) {
    if (value == 0.0f) return;
    ops::require_rgba_float(img, "apply_whites");
    const double divisor = 1.0f + 0.15f * value / 100.0f;
    for_each_colour_plane(img, [&](cv::Mat& plane) {
        plane = plane / divisor;
        stage_math::clamp_plane(plane);
    });
}

void apply_blacks(cv::Mat& img, float value) {
    if (value == 0.0f) return;
    ops::require_rgba_float(img, "apply_blacks");
    const float offset = (value / -100.0f) * 0.1f;  // positive values lift the blacks
    for_each_colour_plane(img, [&](cv::Mat& plane) {
        plane = plane - offset;
        stage_math::clamp_plane(plane);
    });
}

// ---- Tone curves -----------------------------------------------------------------

void Spline::build(std::vector<std::pair<float, float>> const& points) {
    const size_t n = points.size();
    if (n < 2) return;
    x.clear();
    y.clear();
    c.clear();
    // The tridiagonal system divides by the spacing of the points: abscissae
    // that do not rise strictly (or are not numbers) have no spline, and the
    // curve stays the identity.
    for (size_t j = 0; j < n; ++j) {
        if (!std::isfinite(points[j].first) || !std::isfinite(points[j].second)) return;
        if (j > 0 && !(points[j].first > points[j - 1].first)) return;
    }
    std::vector<float> px(n), py(n);
    for (size_t j = 0; j < n; ++j) {
        px[j] = points[j].first;
        py[j] = points[j].second;
    }
    std::vector<float> h(n - 1), alpha(n, 0.0f), l(n, 1.0f), mu(n, 0.0f), z(n, 0.0f);
    for (size_t j = 0; j + 1 < n; ++j) h[j] = px[j + 1] - px[j];
    for (size_t j = 1; j + 1 < n; ++j)
        alpha[j] = 3.0f * (py[j + 1] - py[j]) / h[j] - 3.0f * (py[j] - py[j - 1]) / h[j - 1];
    for (size_t j = 1; j + 1 < n; ++j) {
        l[j] = 2.0f * (px[j + 1] - px[j - 1]) - h[j - 1] * mu[j - 1];
        mu[j] = h[j] / l[j];
        z[j] = (alpha[j] - h[j - 1] * z[j - 1]) / l[j];
    }
    std::vector<float> coef(n, 0.0f);
    for (size_t j = n - 2; j >= 1; --j) coef[j] = z[j] - mu[j] * coef[j + 1];
    x = std::move(px);
    y = std::move(py);
    c = std::move(coef);
}

float Spline::eval(float t) const {
    if (x.empty()) return t;
    const int n = static_cast<int>(x.size());
    if (t <= x[0]) return y[0];
    if (t >= x[n - 1]) return y[n - 1];
    int lo = 0, hi = n - 2;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (x[mid + 1] < t)
            lo = mid + 1;
        else
            hi = mid;
    }
    const int i = lo;
    const float h = x[i + 1] - x[i];
    const float s = (t - x[i]) / h;
    const float m = (y[i + 1] - y[i]) / h;
    const float d0 = m - h * (2.0f * c[i] + c[i + 1]) / 3.0f;
    const float d1 = m + h * (2.0f * c[i + 1] + c[i]) / 3.0f;
    const float s2 = s * s, s3 = s2 * s;
    const float value = y[i] * (2.0f * s3 - 3.0f * s2 + 1.0f) + y[i + 1] * (-2.0f * s3 + 3.0f * s2) +
                        h * d0 * (s3 - 2.0f * s2 + s) + h * d1 * (s3 - s2);
    return clamp01(value);
}

void build_tone_curve_lut(std::vector<std::pair<float, float>> const& points, std::vector<float>& lut) {
    lut.resize(kLutSize);
    constexpr float kLast = static_cast<float>(kLutSize - 1);
    Spline spline;
    if (points.size() >= 2) spline.build(points);
    for (int i = 0; i < kLutSize; ++i) lut[i] = spline.eval(static_cast<float>(i) / kLast);
}

void apply_tone_curves(cv::Mat& img, float const* master, float const* red, float const* green, float const* blue) {
    if (!master && !red && !green && !blue) return;
    ops::require_rgba_float(img, "apply_tone_curves");
    auto lookup = [master](float const* table, float v) {
        if (master) v = master[tone::lut_index(v, kLutSize)];
        if (table) v = table[tone::lut_index(v, kLutSize)];
        return clamp01(v);
    };
    for_each_rgb(img, [&](float& r, float& g, float& b) {
        r = lookup(red, r);
        g = lookup(green, g);
        b = lookup(blue, b);
    });
}

// ---- White balance ---------------------------------------------------------------

void kelvin_tint_to_multipliers(float kelvin, float tint, float& r, float& g, float& b) {
    // NaN counts as the lower limit, so the multipliers are always numbers.
    const float t = kelvin > 1667.0f ? std::min(kelvin, 25000.0f) : 1667.0f;
    const float t2 = t * t, t3 = t2 * t;
    const float x = t <= 4000.0f ? -266123904.0f / t3 - 234358.9f / t2 + 877.6956f / t + 0.17991f
                                 : -3025846784.0f / t3 + 2107038.0f / t2 + 222.6347f / t + 0.24039f;
    const float x2 = x * x, x3 = x2 * x;
    float y;
    if (t <= 2222.0f)
        y = -1.1063814f * x3 - 1.3481102f * x2 + 2.1855583f * x - 0.20219684f;
    else if (t <= 4000.0f)
        y = -0.9549476f * x3 - 1.3741859f * x2 + 2.09137f * x - 0.16748866f;
    else
        y = 3.081758f * x3 - 5.873387f * x2 + 3.7511299f * x - 0.37001482f;

    // Tristimulus at Y = 1 relative to the 6500 K point of the same formulas.
    const float a = 0.9685732f / (x / y);
    const float cz = 1.1216444f / ((1.0f - x - y) / y);
    r = std::max(3.2406f * a - 1.5372f - 0.4986f * cz, 0.01f);
    g = std::max(-0.9689f * a + 1.8758f + 0.0415f * cz, 0.01f);
    b = std::max(0.0557f * a - 0.204f + 1.057f * cz, 0.01f);
    const float largest = std::max(r, std::max(g, b));
    r /= largest;
    g /= largest;
    b /= largest;
    g *= clamp01(1.0f + (tint / -150.0f) * 0.15f);
}

void apply_white_balance(cv::Mat& img, float kelvin, float tint) {
    float mr, mg, mb;
    kelvin_tint_to_multipliers(kelvin, tint, mr, mg, mb);
    if (mr == 1.0f && mg == 1.0f && mb == 1.0f) return;
    ops::require_rgba_float(img, "apply_white_balance");
    for_each_rgb(img, [&](float& r, float& g, float& b) {
        r = clamp01(r * mr);
        g = clamp01(g * mg);
        b = clamp01(b * mb);
    });
}

// ---- Colour ------------------------------------------------------------------------

void apply_saturation(cv::Mat& img, float value) {
    if (value == 0.0f) return;
    ops::require_rgba_float(img, "apply_saturation");
    const float factor = 1.0f + value / 100.0f;
    for_each_rgb(img, [&](float& r, float& g, float& b) {
        pixel::Hsl hsl;
        pixel::rgb_to_hsl(r, g, b, kGreyThreshold, hsl);  // grey pixels take hue 0, saturation 0
        hsl.s = clamp01(hsl.s * factor);
        pixel::hsl_to_rgb(hsl, r, g, b);
    });
}

void apply_vibrance(cv::Mat& img, float value) {
    if (value == 0.0f) return;
    ops::require_rgba_float(img, "apply_vibrance");
    constexpr float kMinSaturation = 1e-4f;
    const float v = value / 100.0f;
    for_each_hsl(img, kMinSaturation, [&](pixel::Hsl& hsl) {
        const float room = 1.0f - std::min(hsl.s, 1.0f);  // muted colours gain the most
        hsl.s = clamp01(hsl.s * (1.0f + v * room * room * 0.8f));
    });
}

void apply_hsl(cv::Mat& img, HslTarget const* targets) {
    if (!targets) return;
    const tone::ShiftingBands bands = tone::shifting_bands(targets);
    if (bands.count == 0) return;
    ops::require_rgba_float(img, "apply_hsl");
    constexpr float kMinSaturation = 1e-5f;
    constexpr float kBandHalfWidth = 0.09f;  // turns
    constexpr float kMinWeight = 1e-5f;
    auto weight = [](float dist) { return tone::raised_cosine_band_weight(dist, kBandHalfWidth); };
    for_each_hsl(img, kMinSaturation, [&](pixel::Hsl& hsl) {
        tone::shift_hsl(hsl, tone::band_shifts(hsl.h, bands, weight, kMinWeight));
    });
}

void apply_split_toning(cv::Mat& img, float highlight_hue, float highlight_saturation, float shadow_hue,
                        float shadow_saturation, float balance) {
    if (highlight_saturation == 0.0f && shadow_saturation == 0.0f) return;
    ops::require_rgba_float(img, "apply_split_toning");
    const float hh = highlight_hue / 360.0f, sh = shadow_hue / 360.0f;
    const float hs = highlight_saturation / 100.0f, ss = shadow_saturation / 100.0f;
    const float shift = balance / 100.0f * 0.3f;
    for_each_rgb(img, [&](float& r, float& g, float& b) {
        float wh, ws;
        tone::split_toning_weights(pixel::luminance(r, g, b), shift, wh, ws);
        pixel::Hsl hsl;
        pixel::rgb_to_hsl(r, g, b, kGreyThreshold, hsl);  // grey pixels take hue 0, saturation 0
        const float strength = hs * wh + ss * ws;
        const float target = (hh - sh) * wh + sh;  // the shadow hue weighs 1 - wH
        hsl.h = wrap_turn(hsl.h + strength * (target - hsl.h));
        hsl.s = clamp01(hsl.s + 0.3f * strength);
        pixel::hsl_to_rgb(hsl, r, g, b);
    });
}

}  // namespace vornalix::adjustments
