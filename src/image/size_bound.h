#pragma once
// Size bounding shared by every reduced copy the library makes (loaded
// images, thumbnails, hash and analysis copies). The reductions scale by a
// single-precision factor the way cv::resize derives a size from factors,
// except that no side ever drops below one pixel: a 10000 x 1 image reduced
// to 4096 stays one row high instead of collapsing to an empty matrix.

#include <opencv2/core.hpp>

namespace vornalix {

// The factor max_side / longer side in single precision, or 1 when the
// longer side is already at most max_side.
float long_side_factor(cv::Size size, int max_side);

// The size cv::resize derives from `factor` (each side rounded to nearest),
// with every side raised to at least 1.
cv::Size scaled_size(cv::Size size, double factor);

// `image` reduced with INTER_AREA so that its longer side is at most
// max_side (sides of 1 pixel kept); the input itself (not a copy) when it
// already fits.
cv::Mat bound_long_side(const cv::Mat& image, int max_side);

// The long-side bound a load works at for a size limit: the kind's default
// bound for a negative limit, none (INT_MAX) for 0, else the limit itself.
int working_max_side(int limit, int default_max_side);

// Working pixels per pixel of the default-bounded image: the ratio of the
// working long side to the one `default_max_side` gives an image of `full`
// size. Exactly 1 at the default bound; settings measured in pixels grow by it.
float pixel_scale(cv::Size full, cv::Size working, int default_max_side);

// `image` resized to half its size in each axis (integer division, at least
// 1 pixel), INTER_AREA.
cv::Mat halve(const cv::Mat& image);

}  // namespace vornalix
