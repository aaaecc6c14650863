#include "pipeline/detail_math.h"

#include "image/image_memory.h"
#include "pipeline/plane_math.h"
#include "pipeline/row_pass.h"
#include "pipeline/stage_loops.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>

namespace vornalix::stage_math {

void add_detail(std::vector<cv::Mat>& planes, const cv::Mat& detail, float gain) {
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < detail.rows; ++y) {
            float* v = planes[c].ptr<float>(y);
            const float* d = detail.ptr<float>(y);
            for (int x = 0; x < detail.cols; ++x) v[x] = add_detail_value(v[x], d[x], gain);
        }
}

int odd_patch_size(int side, float fraction, int min_size, int max_size) {
    const float scaled = std::min(std::max(side * fraction, 0.0f), static_cast<float>(INT_MAX / 2));
    const int odd = static_cast<int>(scaled) | 1;
    return std::min(std::max(odd, min_size), max_size);
}

namespace {
// A band of a larger matrix takes its border from the rows around it, so
// bands eroded in parallel give the whole-image result.
void erode_square(const cv::Mat& minimum, cv::Mat& dark, int patch) {
    CV_Assert(minimum.data != dark.data);
    create_image(dark, minimum.size(), minimum.type());
    const cv::Mat square = cv::Mat::ones(patch, patch, CV_8U);
    for_each_band(minimum.rows, [&](const cv::Range& band) {
        cv::Mat out = dark.rowRange(band);
        cv::erode(minimum.rowRange(band), out, square, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
                  cv::morphologyDefaultBorderValue());
    }, bands_per_thread());
}
}  // namespace

cv::Mat dark_channel(const std::vector<cv::Mat>& planes, int patch) {
    cv::Mat minimum = cv::min(cv::min(planes[0], planes[1]), planes[2]);
    cv::Mat dark;
    erode_square(minimum, dark, patch);
    return dark;
}

void dark_channel_after(RowPass& pass, int patch, cv::Mat& minimum, cv::Mat& dark) {
    plane_after(pass, minimum, [](const auto& r, const auto& g, const auto& b) {
        return lanes::min_of(lanes::min_of(r, g), b);
    });
    erode_square(minimum, dark, patch);
}

void unsharp_mask(cv::Mat& plane, double sigma, double gain, double threshold) {
    cv::Mat blurred;
    gaussian_blur(plane, blurred, cv::Size(), sigma);
    for (int y = 0; y < plane.rows; ++y) {
        auto* v = plane.ptr<float>(y);
        const auto* b = blurred.ptr<float>(y);
        for (int x = 0; x < plane.cols; ++x)
            v[x] = unsharp_value(v[x], b[x], static_cast<float>(gain), static_cast<float>(threshold));
    }
}

}  // namespace vornalix::stage_math
