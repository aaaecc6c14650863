#pragma once
// Area-averaging reduction (cv::INTER_AREA) that gives OpenCV's pixels bit
// for bit. OpenCV reduces 16-bit images by a fractional factor one sample at
// a time; this takes a pixel's four channels at once and sums each source
// row once, however many output rows share it.

#include <opencv2/core.hpp>

namespace vornalix {

// cv::resize(src, dst, dsize, fx, fy, cv::INTER_AREA), same arguments and
// same result; `dst` is reused when it already has the size and type.
void resize_area(const cv::Mat& src, cv::Mat& dst, cv::Size dsize, double fx = 0, double fy = 0);

}  // namespace vornalix
