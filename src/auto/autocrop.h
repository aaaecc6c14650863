#pragma once
// The auto-crop search: an interest map from spectral-residual saliency and
// edge strength, scanned by fixed-aspect windows at five scales.

#include <opencv2/core.hpp>

namespace vornalix::autocrop {

// Best crop of `image` (three or four float channels, R, G, B first) as
// fractions x, y, w, h of its width and height. `aspect` is width / height
// (not above 0.01, or NaN: 1.5); `margin` the fraction of each side the crop
// keeps clear of the border. The outputs are always written: the whole image
// (0, 0, 1, 1) when the image is empty or no window fits.
void compute_auto_crop(cv::Mat const& image, float aspect, float margin, float& x, float& y, float& w,
                       float& h);

// Spectral residual saliency: the log amplitude spectrum (plus log_epsilon)
// minus its 3 x 3 average, sent back with the original phase, squared,
// blurred (sigma 8), normalised to 0..1 and resized to `size`. It marks what
// stands out from the image's regular structure. `small` is the CV_32F grey
// image at kSaliencySide x kSaliencySide.
constexpr int kSaliencySide = 64;
cv::Mat spectral_residual(const cv::Mat& small, cv::Size size, double log_epsilon);

// The best crop window of a search so far: its score and its place as
// fractions of the image size. A strictly greater score wins, so ties keep the
// window offered first.
struct BestWindow {
    float score = -1e9f;
    float x = 0.0f, y = 0.0f, w = 1.0f, h = 1.0f;

    void offer(float candidate, int wx, int wy, int cw, int ch, float image_w, float image_h) {
        if (!(candidate > score)) return;
        score = candidate;
        x = static_cast<float>(wx) / image_w;
        y = static_cast<float>(wy) / image_h;
        w = static_cast<float>(cw) / image_w;
        h = static_cast<float>(ch) / image_h;
    }
    void write_to(float& out_x, float& out_y, float& out_w, float& out_h) const {
        out_x = x;
        out_y = y;
        out_w = w;
        out_h = h;
    }
};

// The window of width / height `aspect` at scale `s` of `image`: the width
// scaled and the height following it when `scale_width`, else the other way
// round; both limited to the image in float before the conversion, then to
// its integer size.
cv::Size window_at_scale(float s, cv::Size image, float aspect, bool scale_width);

// Sum of `map` over the window.
float window_sum(const cv::Mat& map, int x, int y, int w, int h);

// The interest map (CV_32F, image size, 0..1) the search scores windows on.
cv::Mat interest_map(cv::Mat const& image);

}  // namespace vornalix::autocrop
