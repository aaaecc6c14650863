#pragma once
// Formulas of the clarity, texture, dehaze and sharpening stages that the
// operations library uses with its own constants: every constant comes in as
// an argument. Planes are single-channel CV_32F, colour planes 0..2.

#include "pipeline/lanes.h"
#include "pipeline/pixel.h"

#include <opencv2/core.hpp>

#include <vector>

namespace vornalix {
class RowPass;
}

namespace vornalix::stage_math {

// planes[0..2] += detail * gain, each then clamped to [0, 1].
void add_detail(std::vector<cv::Mat>& planes, const cv::Mat& detail, float gain);
template <class T>
T add_detail_value(const T& v, const T& detail, float gain) { return pixel::clamp01(v + detail * lanes::all<T>(gain)); }

// trunc(side * fraction) made odd, then kept within [min_size, max_size].
int odd_patch_size(int side, float fraction, int min_size, int max_size);

// Per-pixel minimum of planes 0..2, eroded with a patch x patch square
// (constant border that never wins the minimum).
cv::Mat dark_channel(const std::vector<cv::Mat>& planes, int patch);
// The same of the image a pass leaves, taken as it runs its pending kernels,
// into `dark`; `minimum` is scratch.
void dark_channel_after(RowPass& pass, int patch, cv::Mat& minimum, cv::Mat& dark);

// Unsharp mask of one plane with a hard threshold: plane += D * gain where
// |D| > threshold, D = plane - blur(plane, sigma); then clamped to [0, 1].
void unsharp_mask(cv::Mat& plane, double sigma, double gain, double threshold);

// The same for one value v (or four lanes) whose blurred value is `blurred`.
template <class T>
T unsharp_value(const T& v, const T& blurred, float gain, float threshold) {
    using namespace lanes;
    const T detail = v - blurred;
    return clamp01(select(abs_of(detail) > all<T>(threshold), v + detail * all<T>(gain), v));
}

}  // namespace vornalix::stage_math
