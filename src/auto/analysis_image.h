#pragma once
// The reduced, unedited copies the automatic analyses measure, and their
// luminance plane. Shared by the analyses and the operations library.

#include "image/image_buffer.h"

#include <opencv2/core.hpp>

namespace vornalix::analysis {

// Size of the analysis copy of a `source`-sized image at `width` columns:
// height rows * width / cols (truncating), never below one row. A copy more
// than kMaxAspect times taller than wide is scaled down, keeping the aspect
// ratio and at least one column, so a sliver of an image cannot grow into
// millions of rows; ordinary portrait and landscape shapes are unaffected.
constexpr int kMaxAspect = 4;
cv::Size reduced_size(cv::Size source, int width);

// `source` resized bilinearly to `size`, as four float channels (R, G, B, A, 0..1).
cv::Mat reduced_copy(const ImageBuffer& source, cv::Size size);
// The same at `width` columns, sized by reduced_size().
cv::Mat reduced_copy(const ImageBuffer& source, int width);

// Rec. 709 luminance plane (CV_32F) of a float R, G, B(, A) image.
cv::Mat luminance_plane(const cv::Mat& rgb_float);

}  // namespace vornalix::analysis
