#include "pipeline/background_blur.h"

#include "pipeline/plane_math.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace vornalix {

int background_blur_kernel(float strength) {
    constexpr int kMaxKernel = 61;
    constexpr int kMinKernel = 3;
    // Clamp in float first: the int conversion of a huge value is undefined.
    const float scaled = std::min(strength / 100.0f * kMaxKernel, static_cast<float>(kMaxKernel));
    int k = scaled > 0.0f ? static_cast<int>(scaled) : 0;
    k |= 1;
    return std::clamp(k, kMinKernel, kMaxKernel);
}

void blur_background(cv::Mat& preview, const cv::Mat& mask, float strength, float pixel_scale) {
    if (preview.empty() || mask.size() != preview.size() || mask.channels() != 1) return;

    const auto g = stage_math::scaled_kernel(background_blur_kernel(strength), pixel_scale,
                                             stage_math::max_kernel_size(preview.size()));
    cv::Mat blurred;
    cv::GaussianBlur(preview, blurred, g.size, g.sigma, g.sigma, cv::BORDER_DEFAULT);

    cv::Mat a, a4, sharp, soft;
    mask.convertTo(a, CV_32F, 1.0 / 255.0);
    cv::merge(std::vector<cv::Mat>{a, a, a, a}, a4);
    preview.convertTo(sharp, CV_32FC4);
    blurred.convertTo(soft, CV_32FC4);
    cv::Mat blended = sharp.mul(a4) + soft.mul(cv::Scalar::all(1.0) - a4);
    blended.convertTo(preview, preview.type());
}

}  // namespace vornalix
