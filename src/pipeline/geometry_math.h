#pragma once
// Crop and keystone geometry of the geometry stage, shared with the
// operations library.

#include <opencv2/core.hpp>

namespace vornalix::stage_math {

// Crop rectangle from fractions of the image size: left/top trunc(f * side)
// raised to 0, width/height trunc(f * side) cut back to what remains. The
// products are clamped in float before conversion, so any finite fraction is
// safe; the result may have zero width or height (nothing to keep).
cv::Rect crop_rectangle(cv::Size image, float x, float y, float w, float h);

// Keystone: the corners (0,0) (W,0) (W,H) (0,H) go to (dx,dy) (W-dx,dy)
// (W+dx,H-dy) (-dx,H-dy); offsets in pixels.
cv::Mat perspective_matrix(cv::Size image, float dx, float dy);

}  // namespace vornalix::stage_math
