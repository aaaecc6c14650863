#pragma once
// Subject segmentation: GrabCut on a copy of at most 512 pixels a side,
// cleaned and softened into an 8-bit mask at the loaded image's size, and the
// cut-out of the rendered image with that mask as alpha.

#include "image/image_buffer.h"

#include <opencv2/core.hpp>

namespace vornalix::segment {

constexpr int kMaxWorkingSide = 512;

// The C code of a failure of GrabCut itself (a rejected rectangle or image).
constexpr int kGrabCutFailed = -2;

// Size GrabCut works at: `image` scaled by 512 / longer side when a side
// exceeds 512 (rounded, each side at least one pixel), otherwise unchanged.
cv::Size working_size(cv::Size image);

// GrabCut's rectangle in a `working`-sized image: 60 % of each side centred on
// the subject point (fractions; negative = centre), kept one pixel inside the
// border and shifted inward near the left and top edges. May be empty or of
// negative size when the point lies far outside the image.
cv::Rect subject_rect(cv::Size working, float subject_x, float subject_y);

// Soft subject mask (CV_8U, image size: 255 subject, 0 background). Fails
// with "GrabCut failed" and kGrabCutFailed when GrabCut cannot run on the
// rectangle.
cv::Mat subject_mask(const ImageBuffer& image, float subject_x, float subject_y);

// The rendered image as 8-bit B, G, R, A with `mask` as alpha, ready for a
// PNG writer. The mask must have the rendered image's size.
cv::Mat cutout_bgra(const ImageBuffer& rendered, const cv::Mat& mask);

}  // namespace vornalix::segment
