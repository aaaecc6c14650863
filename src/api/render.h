#pragma once
// Internal forms of the rendering entry points.

#include "api/context.h"

#include <opencv2/core.hpp>

#include <functional>

namespace vornalix::api {

// Renders the loaded image with the current settings and sets `processed`.
// False with "no image loaded" when there is nothing to render.
bool render(VornalixContext* ctx);

// Renders the 8-bit R, G, B, A preview, with the background blur behind a
// segmentation mask applied, into storage(size): a matrix of that size and
// CV_8UC4 (for example a header over a caller's buffer), or an empty one
// with last_error set to refuse. False, with last_error set, on failure.
bool render_preview(VornalixContext* ctx, const std::function<cv::Mat(cv::Size)>& storage);

}  // namespace vornalix::api
