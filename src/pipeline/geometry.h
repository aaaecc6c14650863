#pragma once
// Where a render moves pixels: the lens profile's resampling and the
// distortion correction of the lens stage, then the geometric edits (flips,
// rotation, keystone, crop). Every warp takes an image of any channel count,
// so a subject mask made on the unedited image follows the picture through
// the same code.

#include "lens/lens_profile.h"
#include "settings/edit_params.h"

#include <opencv2/core.hpp>

namespace vornalix {

// Whether the lens stage resamples: the lens profile is on and matched, or
// the distortion setting is non-zero and finite.
bool lens_moves_pixels(const lens::Profile& profile, const EditParams& params);

// The lens stage's resampling, profile first; `spare` is scratch the warps
// trade places with.
void move_like_lens(cv::Mat& image, cv::Mat& spare, const lens::Profile& profile, const EditParams& params);

// Whether any geometric edit applies (non-finite values count as neutral).
bool edits_geometry(const EditParams& params);

// Flips, rotation, keystone and crop, each under its own guard. The crop
// leaves `image` a view into its former memory; `spare` is scratch.
void apply_geometric_edits(cv::Mat& image, cv::Mat& spare, const EditParams& params);

}  // namespace vornalix
