#pragma once
// The preview's background blur behind a subject mask.

#include <opencv2/core.hpp>

namespace vornalix {

// Gaussian kernel side for a blur strength of 0..100: (strength / 100) x 61,
// made odd, within 3..61. Values beyond the range (or infinite) give the
// nearest end; call only for a strength above 0.
int background_blur_kernel(float strength);

// Blends an 8- or 16-bit four-channel preview with its Gaussian-blurred copy:
// mask 255 keeps the preview, 0 takes the blurred copy, values between mix.
// A mask that is not one-channel or not of the preview's size leaves the
// preview alone. The kernel widens by the pipeline's pixel_scale.
void blur_background(cv::Mat& preview, const cv::Mat& mask, float strength, float pixel_scale);

}  // namespace vornalix
