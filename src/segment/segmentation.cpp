#include "segment/segmentation.h"

#include "core/failure.h"
#include "image/size_bound.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace vornalix::segment {

namespace {

// GrabCut seeds its colour models from the calling thread's random generator.
// A fixed seed for the call (the host's state restored afterwards) makes the
// mask depend on the picture alone, not on what that thread, another context
// or the host drew from the generator before.
class FixedRandomSeed {
public:
    FixedRandomSeed() : rng_(cv::theRNG()), saved_(rng_) { rng_ = cv::RNG(kSeed); }
    ~FixedRandomSeed() { rng_ = saved_; }
    FixedRandomSeed(const FixedRandomSeed&) = delete;
    FixedRandomSeed& operator=(const FixedRandomSeed&) = delete;

private:
    static constexpr std::uint64_t kSeed = 0x5EED;
    cv::RNG& rng_;
    cv::RNG saved_;
};

// Subject coordinate on an axis of `extent` pixels. Points far beyond the
// image all leave an empty rectangle, so the product is limited before the
// conversion instead of overflowing it.
int subject_coordinate(float fraction, int extent) {
    if (!(fraction >= 0.0f)) return extent / 2;
    const float limit = 4.0f * static_cast<float>(extent);
    return static_cast<int>(std::min(fraction * static_cast<float>(extent), limit));
}

// Closes small holes, removes specks, on a hard 0/255 mask.
void clean_up(cv::Mat& mask) {
    cv::GaussianBlur(mask, mask, cv::Size(5, 5), 0, 0, cv::BORDER_DEFAULT);
    cv::threshold(mask, mask, 127, 255, cv::THRESH_BINARY);
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_ELLIPSE, cv::Size(5, 5), cv::Point(-1, -1));
    cv::morphologyEx(mask, mask, cv::MORPH_CLOSE, kernel, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
                     cv::morphologyDefaultBorderValue());
    cv::morphologyEx(mask, mask, cv::MORPH_OPEN, kernel, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
                     cv::morphologyDefaultBorderValue());
}

}  // namespace

cv::Size working_size(cv::Size image) {
    const float factor = long_side_factor(image, kMaxWorkingSide);
    return factor < 1.0f ? scaled_size(image, factor) : image;
}

cv::Rect subject_rect(cv::Size working, float subject_x, float subject_y) {
    const int cols = working.width, rows = working.height;
    const int px = subject_coordinate(subject_x, cols);
    const int py = subject_coordinate(subject_y, rows);
    const int left = std::max(px - (3 * cols) / 10, 1);
    const int top = std::max(py - (3 * rows) / 10, 1);
    const int width = std::min(cols - left - 1, (3 * cols) / 5);
    const int height = std::min(rows - top - 1, (3 * rows) / 5);
    return cv::Rect(left, top, width, height);
}

cv::Mat subject_mask(const ImageBuffer& image, float subject_x, float subject_y) {
    cv::Mat input;
    cv::cvtColor(image.to_8bit(), input, cv::COLOR_RGBA2BGR);
    const cv::Size full = input.size();
    const bool reduced = std::max(full.width, full.height) > kMaxWorkingSide;
    input = bound_long_side(input, kMaxWorkingSide);

    const cv::Rect rect = subject_rect(input.size(), subject_x, subject_y);
    if (rect.width <= 0 || rect.height <= 0) fail("GrabCut failed", kGrabCutFailed);
    cv::Mat labels(input.size(), CV_8U, cv::Scalar(0));
    cv::Mat background_model, foreground_model;
    constexpr int kIterations = 5;
    const FixedRandomSeed seed;
    try {
        cv::grabCut(input, labels, rect, background_model, foreground_model, kIterations, cv::GC_INIT_WITH_RECT);
    } catch (const cv::Exception&) {
        fail("GrabCut failed", kGrabCutFailed);
    }

    cv::Mat mask = (labels == cv::GC_FGD) | (labels == cv::GC_PR_FGD);
    clean_up(mask);
    if (reduced) {
        cv::resize(mask, mask, full, 0, 0, cv::INTER_LINEAR);
        cv::threshold(mask, mask, 127, 255, cv::THRESH_BINARY);
    }
    cv::Mat soft;
    cv::GaussianBlur(mask, soft, cv::Size(9, 9), 2.0, 0.0, cv::BORDER_DEFAULT);
    return soft;
}

cv::Mat cutout_bgra(const ImageBuffer& rendered, const cv::Mat& mask) {
    if (rendered.empty() || mask.size() != rendered.mat.size())
        throw std::invalid_argument("cut-out needs a mask of the rendered image's size");
    std::vector<cv::Mat> planes;
    cv::split(rendered.to_8bit(), planes);
    mask.convertTo(planes[3], CV_8U);
    cv::Mat rgba, bgra;
    cv::merge(planes, rgba);
    cv::cvtColor(rgba, bgra, cv::COLOR_RGBA2BGRA);
    return bgra;
}

}  // namespace vornalix::segment
