#pragma once
// A loaded picture's colours brought into the library's working space,
// sRGB, through the ICC profile its file embeds.

#include "codec/image_read.h"

#include <opencv2/core.hpp>

namespace vornalix::color_mgmt {

// The picture in sRGB. Without a profile, with one Little CMS cannot use or
// whose colour space does not fit the pixels, or with one that already
// describes sRGB, the decoded 8-bit R, G, B as they stand (untagged pictures
// load exactly as before). Otherwise the pixels converted from their RGB,
// grey or CMYK profile to sRGB as 16-bit R, G, B.
cv::Mat to_srgb(const codec::DecodedImage& decoded);

// `srgb` (8 or 16-bit) as 8-bit, rounding 16-bit values to the nearest level.
cv::Mat to_8bit(const cv::Mat& srgb);

}  // namespace vornalix::color_mgmt
