#include "auto/autocrop.h"

#include "auto/analysis_image.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace vornalix::autocrop {

cv::Mat spectral_residual(const cv::Mat& small, cv::Size size, double log_epsilon) {
    constexpr int kSide = kSaliencySide;
    CV_Assert(small.type() == CV_32FC1 && small.rows == kSide && small.cols == kSide);
    cv::Mat spectrum;
    cv::merge(std::vector<cv::Mat>{small, cv::Mat::zeros(small.size(), CV_32F)}, spectrum);
    cv::dft(spectrum, spectrum, 0);
    std::vector<cv::Mat> parts;
    cv::split(spectrum, parts);
    cv::Mat& re = parts[0];
    cv::Mat& im = parts[1];

    cv::Mat amplitude;
    cv::magnitude(re, im, amplitude);
    cv::Mat log_amplitude;
    cv::log(amplitude + log_epsilon, log_amplitude);
    cv::Mat average;
    cv::blur(log_amplitude, average, cv::Size(3, 3), cv::Point(-1, -1), cv::BORDER_DEFAULT);
    cv::Mat residual;
    cv::exp(log_amplitude - average, residual);
    cv::Mat phase;
    cv::phase(re, im, phase);
    for (int y = 0; y < kSide; ++y) {
        const float* r = residual.ptr<float>(y);
        const float* p = phase.ptr<float>(y);
        float* pr = re.ptr<float>(y);
        float* pi = im.ptr<float>(y);
        for (int x = 0; x < kSide; ++x) {
            pr[x] = r[x] * std::cos(p[x]);
            pi[x] = r[x] * std::sin(p[x]);
        }
    }
    cv::merge(parts, spectrum);
    cv::idft(spectrum, spectrum, cv::DFT_SCALE);
    cv::split(spectrum, parts);

    cv::Mat s;
    cv::pow(parts[0], 2.0, s);
    cv::GaussianBlur(s, s, cv::Size(0, 0), 8.0, 0.0, cv::BORDER_DEFAULT);
    cv::normalize(s, s, 0.0, 1.0, cv::NORM_MINMAX);
    cv::resize(s, s, size, 0, 0, cv::INTER_LINEAR);
    return s;
}

namespace {

cv::Mat saliency(const cv::Mat& lum) {
    cv::Mat small;
    cv::resize(lum, small, cv::Size(kSaliencySide, kSaliencySide), 0, 0, cv::INTER_LINEAR);
    return spectral_residual(small, lum.size(), 1e-8);
}

cv::Mat edge_strength(const cv::Mat& lum) {
    cv::Mat gx, gy, g;
    cv::Sobel(lum, gx, CV_32F, 1, 0, 3, 1.0, 0.0, cv::BORDER_DEFAULT);
    cv::Sobel(lum, gy, CV_32F, 0, 1, 3, 1.0, 0.0, cv::BORDER_DEFAULT);
    cv::magnitude(gx, gy, g);
    cv::normalize(g, g, 0.0, 1.0, cv::NORM_MINMAX);
    return g;
}

// Interest around the four rule-of-thirds points of a window: square windows
// of radius r, cut at the map's border (the last row and column never count).
float thirds_interest(const cv::Mat& map, int wx, int wy, float third_w, float third_h, float r) {
    const float px[4] = {wx + third_w, wx + 2.0f * third_w, wx + third_w, wx + 2.0f * third_w};
    const float py[4] = {wy + third_h, wy + third_h, wy + 2.0f * third_h, wy + 2.0f * third_h};
    float sum = 0.0f;
    for (int i = 0; i < 4; ++i) {
        const int left = std::max(static_cast<int>(px[i] - r), 0);
        const int right = std::min(static_cast<int>(px[i] + r), map.cols - 1);
        const int top = std::max(static_cast<int>(py[i] - r), 0);
        const int bottom = std::min(static_cast<int>(py[i] + r), map.rows - 1);
        if (right > left && bottom > top) sum += window_sum(map, left, top, right - left, bottom - top);
    }
    return sum;
}

}  // namespace

cv::Mat interest_map(cv::Mat const& image) {
    const cv::Mat lum = analysis::luminance_plane(image);
    cv::Mat map = 0.6 * saliency(lum) + 0.4 * edge_strength(lum);
    const float sigma = static_cast<float>(image.cols) * 0.02f;
    cv::GaussianBlur(map, map, cv::Size(0, 0), static_cast<double>(sigma), 0.0, cv::BORDER_DEFAULT);
    cv::normalize(map, map, 0.0, 1.0, cv::NORM_MINMAX);
    return map;
}

void compute_auto_crop(cv::Mat const& image, float aspect, float margin, float& x, float& y, float& w,
                       float& h) {
    x = 0.0f;
    y = 0.0f;
    w = 1.0f;
    h = 1.0f;
    if (image.empty() || image.depth() != CV_32F || image.channels() < 3) return;
    if (!(aspect > 0.01f)) aspect = 1.5f;
    // A margin of half a side or more leaves no room; NaN means none.
    if (!(margin > 0.0f)) margin = 0.0f;
    margin = std::min(margin, 0.5f);

    const cv::Mat map = interest_map(image);
    const int W = image.cols, H = image.rows;
    const float Wf = static_cast<float>(W), Hf = static_cast<float>(H);
    const float image_aspect = Wf / Hf;
    const int mx = static_cast<int>(margin * Wf);
    const int my = static_cast<int>(margin * Hf);
    BestWindow best;

    // Five scales, 1.0 down to 0.80: the fifth step lands just below 0.75.
    for (float s = 1.0f; !(s < 0.75f); s += -0.05f) {
        const cv::Size window = window_at_scale(s, image.size(), aspect, image_aspect < aspect);
        const int cw = window.width, ch = window.height;
        if (cw < 1 || ch < 1) continue;  // a sliver of an image has no window at this scale
        const int step = std::max(static_cast<int>(static_cast<float>(std::min(cw, ch)) * 0.05f), 1);
        if (ch + 2 * my > H || cw + 2 * mx > W) continue;

        const float third_w = static_cast<float>(cw) / 3.0f;
        const float third_h = static_cast<float>(ch) / 3.0f;
        const float r = static_cast<float>(static_cast<int>(static_cast<float>(std::min(cw, ch)) * 0.04f + 0.5f));
        const float area = static_cast<float>(cw * ch);
        const float thirds_norm = area * 0.001f + 1.0f;
        const float size_bonus = 0.2f * s * s;

        for (int wy = my; wy + ch + my <= H; wy += step)
            for (int wx = mx; wx + cw + mx <= W; wx += step) {
                const float total = window_sum(map, wx, wy, cw, ch);
                const float thirds = thirds_interest(map, wx, wy, third_w, third_h, r);
                const float score = total / area + 0.05f * (thirds / thirds_norm) + size_bonus;
                // Ties keep the larger, upper, left window: it is offered first.
                best.offer(score, wx, wy, cw, ch, Wf, Hf);
            }
    }
    best.write_to(x, y, w, h);
}

cv::Size window_at_scale(float s, cv::Size image, float aspect, bool scale_width) {
    const float image_w = static_cast<float>(image.width), image_h = static_cast<float>(image.height);
    int cw, ch;
    if (scale_width) {
        cw = static_cast<int>(s * image_w);
        ch = static_cast<int>(std::min(static_cast<float>(cw) / aspect, image_h));
    } else {
        ch = static_cast<int>(s * image_h);
        cw = static_cast<int>(std::min(aspect * static_cast<float>(ch), image_w));
    }
    return {std::min(cw, image.width), std::min(ch, image.height)};
}

float window_sum(const cv::Mat& map, int x, int y, int w, int h) {
    return static_cast<float>(cv::sum(map(cv::Rect(x, y, w, h)))[0]);
}

}  // namespace vornalix::autocrop
