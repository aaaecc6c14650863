#pragma once
// Standalone geometric transforms, horizon detection and auto-crop on a
// single image. Internal to the library; nothing in the pipeline calls them.
//
// Transforms accept any non-empty matrix (all channels alike) and return a
// new image at the input's size (the crop excepted); where a transform has
// nothing to do it returns the input itself, sharing its pixels. An empty
// input throws std::invalid_argument.

#include "auto/suggestions.h"

#include <opencv2/core.hpp>

#include <vector>

namespace vornalix::geometry {

// Deep copy of the rectangle given as fractions of the width and height,
// cut to the image; the input itself when less than one pixel remains.
cv::Mat apply_crop(cv::Mat const& image, float x, float y, float w, float h);
// Counter-clockwise for positive angles, about the centre, reflected borders.
cv::Mat apply_rotation(cv::Mat const& image, float degrees);
// Keystones at 0.2 of the side per 100 (top edge only) and 0.18 for both axes.
cv::Mat apply_perspective_h(cv::Mat const& image, float amount);
cv::Mat apply_perspective_v(cv::Mat const& image, float amount);
cv::Mat apply_perspective(cv::Mat const& image, float h, float v);
cv::Mat apply_flip_h(cv::Mat const& image);
cv::Mat apply_flip_v(cv::Mat const& image);

// The measured horizon: the negated length-weighted median tilt (degrees,
// y downward) of the near-horizontal lines of an 800-wide copy whose vertical
// scale is three quarters of its horizontal one; 0 when there are none.
// Takes four-channel float images and 8-bit images of any channel count;
// other float images and empty ones measure 0, other depths throw.
float detect_horizon_angle(cv::Mat const& image);

// The image turned so that its lines become level (the measured tilt undone,
// including the copy's vertical compression), at its own size with reflected
// corners; the input itself when the measured angle is below 0.1 degrees or
// the image is empty or a float image without four channels.
cv::Mat auto_straighten(cv::Mat const& image);

// Best crop window as fractions of the width and height for width / height
// `aspect` (not above 0.01, or NaN: 1.5), scored on spectral-residual saliency.
// The outputs start as the whole image, which is also the answer for an empty
// image or one that is not four-channel float.
void auto_crop(cv::Mat const& image, float aspect, float& x, float& y, float& w, float& h);

// Length-weighted median of the tilts' angles, negated and kept within
// +-45 degrees; 0 for no tilts.
float negated_median_tilt(const std::vector<analysis::Tilt>& tilts);

}  // namespace vornalix::geometry
