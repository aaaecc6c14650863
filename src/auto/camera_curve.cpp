#include "auto/camera_curve.h"

#include "auto/analysis_image.h"
#include "pipeline/pipeline.h"
#include "pipeline/pixel.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace vornalix::analysis {

namespace {

constexpr int kBins = 4096;
constexpr float kClipped = 0.98f;  // camera level at or above: clipped
// Above the level with fewer than this share of the development's pixels
// brighter, the match rests on a handful of pixels; the curve goes straight on.
constexpr double kMinBrighterShare = 0.005;
// A mean colour spread below this is a grey picture: no saturation to match.
constexpr double kNoColour = 1e-3;

int bin_of(float v) { return static_cast<int>(std::clamp(v, 0.0f, 1.0f) * (kBins - 1) + 0.5f); }

// Cumulative histogram of a single-channel float plane: entry i counts the
// pixels in bins 0..i.
std::vector<double> cumulative_histogram(const cv::Mat& plane) {
    std::vector<double> cumulative(kBins, 0.0);
    for (int y = 0; y < plane.rows; ++y) {
        const float* row = plane.ptr<float>(y);
        for (int x = 0; x < plane.cols; ++x) ++cumulative[bin_of(row[x])];
    }
    for (int i = 1; i < kBins; ++i) cumulative[i] += cumulative[i - 1];
    return cumulative;
}

// Share of the pixels below `v`, counting half of those in v's own bin.
double share_below(const std::vector<double>& cumulative, float v) {
    const int bin = bin_of(v);
    const double before = bin > 0 ? cumulative[bin - 1] : 0.0;
    return 0.5 * (before + cumulative[bin]) / cumulative.back();
}

// Level below which `share` of the pixels lie.
float level_at(const std::vector<double>& cumulative, double share) {
    const double wanted = share * cumulative.back();
    const auto it = std::lower_bound(cumulative.begin(), cumulative.end(), wanted);
    return static_cast<float>(std::min<std::ptrdiff_t>(it - cumulative.begin(), kBins - 1)) / (kBins - 1);
}

// The curve that gives plane `from` the distribution of plane `to`.
CurvePoints matching_curve(const cv::Mat& from_plane, const cv::Mat& to_plane) {
    const std::vector<double> from = cumulative_histogram(from_plane);
    const std::vector<double> to = cumulative_histogram(to_plane);
    CurvePoints curve;
    curve.points.clear();
    int matched = 0;
    for (; matched < kCameraCurvePoints - 1; ++matched) {
        const float x = static_cast<float>(matched) / (kCameraCurvePoints - 1);
        const double share = share_below(from, x);
        const float y = level_at(to, share);
        if (y >= kClipped || 1.0 - share < kMinBrighterShare) break;
        curve.points.emplace_back(x, y);
    }
    // Straight on from the last matched point to white.
    const auto [x0, y0] = matched ? curve.points.back() : std::pair<float, float>(0.0f, 0.0f);
    for (int j = matched; j < kCameraCurvePoints; ++j) {
        const float x = static_cast<float>(j) / (kCameraCurvePoints - 1);
        curve.points.emplace_back(x, y0 + (1.0f - y0) * (x - x0) / (1.0f - x0));
    }
    return curve;
}

bool negligible(const CurvePoints& curve) {
    return std::all_of(curve.points.begin(), curve.points.end(),
                       [](const auto& p) { return std::fabs(p.second - p.first) < kNegligibleCurve; });
}

// `plane` through a curve, as the curve stage reads its table.
cv::Mat through(const CurvePoints& curve, const cv::Mat& plane) {
    std::vector<float> lut;
    Pipeline::build_lut(curve, lut);
    cv::Mat out(plane.size(), CV_32F);
    const int last = static_cast<int>(lut.size()) - 1;
    for (int y = 0; y < plane.rows; ++y) {
        const float* in = plane.ptr<float>(y);
        float* o = out.ptr<float>(y);
        for (int x = 0; x < plane.cols; ++x) o[x] = lut[static_cast<int>(std::clamp(in[x], 0.0f, 1.0f) * last + 0.5f)];
    }
    return out;
}

// Mean distance of R, G and B from their luminance, the spread the saturation
// stage scales, over the pixels no channel of which is clipped.
double mean_colour_spread(const std::vector<cv::Mat>& rgb) {
    const cv::Mat lum = pixel::luminance(rgb[0], rgb[1], rgb[2]);
    double spread = 0.0;
    long counted = 0;
    for (int y = 0; y < lum.rows; ++y) {
        const float* l = lum.ptr<float>(y);
        const float *r = rgb[0].ptr<float>(y), *g = rgb[1].ptr<float>(y), *b = rgb[2].ptr<float>(y);
        for (int x = 0; x < lum.cols; ++x) {
            if (std::max({r[x], g[x], b[x]}) >= kClipped) continue;
            spread += std::fabs(r[x] - l[x]) + std::fabs(g[x] - l[x]) + std::fabs(b[x] - l[x]);
            ++counted;
        }
    }
    return counted ? spread / counted : 0.0;
}

}  // namespace

CameraLook fit_camera_look(const cv::Mat& developed, const cv::Mat& camera) {
    if (developed.empty() || camera.empty()) throw std::invalid_argument("camera curves need two pictures");
    CameraLook look;
    CameraCurves& curves = look.curves;
    curves[0] = matching_curve(luminance_plane(developed), luminance_plane(camera));
    std::vector<cv::Mat> from, to;
    cv::split(developed, from);
    cv::split(camera, to);
    for (int c = 0; c < 3; ++c) {
        const CurvePoints colour = matching_curve(through(curves[0], from[c]), to[c]);
        if (!negligible(colour)) curves[c + 1] = colour;
        from[c] = through(curves[c + 1], through(curves[0], from[c]));
    }
    // Each channel's curve is fixed by that channel's distribution alone, so
    // how far the colours of a pixel lie apart is left to the saturation.
    const double curved = mean_colour_spread(from), wanted = mean_colour_spread(to);
    if (curved > kNoColour && wanted > kNoColour)
        look.saturation = static_cast<float>(std::clamp(100.0 * (wanted / curved - 1.0), -100.0, 100.0));
    return look;
}

}  // namespace vornalix::analysis
