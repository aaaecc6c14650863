#pragma once
// Internal forms of the rendering entry points.

#include "api/context.h"

#include <opencv2/core.hpp>

namespace vornalix::api {

// Renders the loaded image with the current settings and sets `processed`.
// False with "no image loaded" when there is nothing to render.
bool render(VornalixContext* ctx);

// Renders and returns the 8-bit R, G, B, A preview with the background blur
// behind a segmentation mask applied; an empty matrix with last_error set on
// failure.
cv::Mat render_preview(VornalixContext* ctx);

}  // namespace vornalix::api
