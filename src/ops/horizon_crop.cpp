// Standalone horizon detection, straightening and auto-crop, on the line
// finder and spectral-residual saliency of the automatic analyses.

#include "auto/autocrop.h"
#include "auto/suggestions.h"
#include "ops/checks.h"
#include "ops/geometry.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <stdexcept>
#include <vector>

namespace vornalix::geometry {

namespace {

constexpr int kHorizonWidth = 800;
constexpr int kHorizonHeightPerWidth = 600;  // rows * 600 / cols: three quarters of the horizontal scale
// A copy more than this many times taller than wide is cut to it, so a sliver
// of an image cannot grow into millions of rows.
constexpr int kMaxHorizonHeight = 4 * kHorizonWidth;

struct Horizon {
    float negated_tilt = 0.0f;    // the measured value, on the copy
    double vertical_ratio = 1.0;  // the copy's vertical over horizontal scale
};

// 8-bit grey image of a four-channel float or any 8-bit image.
cv::Mat horizon_grey(const cv::Mat& image) {
    cv::Mat grey;
    if (image.depth() == CV_32F) {
        cv::Mat bytes;
        image.convertTo(bytes, CV_8U, 255.0);
        cv::cvtColor(bytes, grey, cv::COLOR_RGBA2GRAY);
    } else if (image.channels() == 3) {
        cv::cvtColor(image, grey, cv::COLOR_RGB2GRAY);
    } else if (image.channels() == 4) {
        cv::cvtColor(image, grey, cv::COLOR_RGBA2GRAY);
    } else {
        grey = image.clone();
    }
    return grey;
}

// Empty and non-four-channel float images have no horizon to measure.
bool measurable(const cv::Mat& image) {
    if (image.empty()) return false;
    if (image.depth() == CV_32F) return image.channels() == 4;
    if (image.depth() == CV_8U) return true;
    throw std::invalid_argument("detect_horizon_angle: needs a four-channel float or an 8-bit image");
}

Horizon measure_horizon(const cv::Mat& image) {
    Horizon out;
    if (!measurable(image)) return out;
    const std::int64_t height = static_cast<std::int64_t>(image.rows) * kHorizonHeightPerWidth / image.cols;
    const int rows = static_cast<int>(std::min<std::int64_t>(std::max<std::int64_t>(height, 1), kMaxHorizonHeight));
    cv::Mat reduced;
    cv::resize(horizon_grey(image), reduced, cv::Size(kHorizonWidth, rows), 0, 0, cv::INTER_AREA);
    out.negated_tilt = negated_median_tilt(analysis::horizon_tilts(analysis::line_segments(reduced)));
    out.vertical_ratio = (static_cast<double>(rows) / image.rows) / (static_cast<double>(kHorizonWidth) / image.cols);
    return out;
}

}  // namespace

float negated_median_tilt(const std::vector<analysis::Tilt>& tilts) {
    if (tilts.empty()) return 0.0f;
    std::vector<size_t> order(tilts.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return tilts[a].angle < tilts[b].angle; });
    float total = 0.0f;
    for (const analysis::Tilt& t : tilts) total += t.length;
    const float half = total * 0.5f;
    float running = 0.0f, median = tilts[order.back()].angle;
    for (size_t i : order) {
        running += tilts[i].length;
        if (running >= half) {
            median = tilts[i].angle;
            break;
        }
    }
    constexpr float kLimit = 45.0f;
    const float m = std::min(median, kLimit);
    return m <= -kLimit ? kLimit : -m;
}

float detect_horizon_angle(cv::Mat const& image) { return measure_horizon(image).negated_tilt; }

cv::Mat auto_straighten(cv::Mat const& image) {
    const Horizon h = measure_horizon(image);
    if (!(std::fabs(h.negated_tilt) >= 0.1f)) return image;
    // The measured tilt is -angle on a copy squeezed vertically by
    // vertical_ratio; undoing the squeeze gives the picture's own tilt, and
    // turning counter-clockwise by it lifts the falling right ends.
    constexpr double kDegrees = 180.0 / 3.14159265358979323846;
    const double tilt = std::atan(std::tan(-h.negated_tilt / kDegrees) / h.vertical_ratio) * kDegrees;
    const cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(image.cols * 0.5f, image.rows * 0.5f), tilt, 1.0);
    cv::Mat out;
    cv::warpAffine(image, out, m, image.size(), cv::INTER_LANCZOS4, cv::BORDER_REFLECT_101, cv::Scalar());
    return out;
}

void auto_crop(cv::Mat const& image, float aspect, float& x, float& y, float& w, float& h) {
    x = 0.0f;
    y = 0.0f;
    w = 1.0f;
    h = 1.0f;
    if (!ops::is_rgba_float(image)) return;
    if (!(aspect > 0.01f)) aspect = 1.5f;

    cv::Mat bytes, bgr, grey;
    image.convertTo(bytes, CV_8U, 255.0);
    cv::cvtColor(bytes, bgr, cv::COLOR_RGBA2BGR);
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    cv::Mat small;
    cv::resize(grey, small, cv::Size(autocrop::kSaliencySide, autocrop::kSaliencySide), 0, 0, cv::INTER_LINEAR);
    small.convertTo(small, CV_32F, 1.0 / 255.0);
    const cv::Mat map = autocrop::spectral_residual(small, image.size(), 1e-7);

    const int W = image.cols, H = image.rows;
    const float Wf = static_cast<float>(W), Hf = static_cast<float>(H);
    const float image_aspect = Wf / Hf;
    autocrop::BestWindow best;
    // Six scales, 1.0 down to 0.75: the sixth step lands just below 0.7.
    for (float s = 1.0f; !(s < 0.7f); s += -0.05f) {
        const cv::Size window = autocrop::window_at_scale(s, image.size(), aspect, image_aspect <= aspect);
        const int cw = window.width, ch = window.height;
        if (cw < 1 || ch < 1) continue;  // a sliver of an image has no window at this scale
        const int step = std::max(std::min(cw, ch) / 20, 1);
        const float area = static_cast<float>(cw) * static_cast<float>(ch);
        const float size_bonus = 0.3f * s * s;

        for (int wy = 0; wy + ch <= H; wy += step)
            for (int wx = 0; wx + cw <= W; wx += step) {
                // Interest at the four rule-of-thirds points, one pixel each.
                float thirds = 0.0f;
                for (int j = 1; j <= 2; ++j)
                    for (int i = 1; i <= 2; ++i) {
                        const int px = std::min(std::max(static_cast<int>(wx + i * cw / 3.0f), 0), W - 1);
                        const int py = std::min(std::max(static_cast<int>(wy + j * ch / 3.0f), 0), H - 1);
                        thirds += map.at<float>(py, px);
                    }
                const float score = 0.1f * thirds + autocrop::window_sum(map, wx, wy, cw, ch) / area + size_bonus;
                // Ties keep the larger, upper, left window: it is offered first.
                best.offer(score, wx, wy, cw, ch, Wf, Hf);
            }
    }
    best.write_to(x, y, w, h);
}

}  // namespace vornalix::geometry
