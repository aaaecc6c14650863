#pragma once
// Standalone finishing effects on a four-channel float image, in place.
// Internal to the library; nothing in the pipeline calls them. A neutral
// amount returns at once; otherwise an empty image or one of another type
// throws std::invalid_argument, and a non-finite setting changes nothing.

#include <opencv2/core.hpp>

namespace vornalix::effects {

// Darkens (amount > 0) or lightens (amount < 0) toward the edges; roundness
// blends from the rectangle (-100) through to the ellipse (100).
void apply_vignette(cv::Mat& image, float amount, float midpoint, float roundness);

// Monochrome grain weighted toward the midtones (none at black and white).
void apply_grain(cv::Mat& image, float amount, float size);

}  // namespace vornalix::effects
