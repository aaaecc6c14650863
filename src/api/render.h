#pragma once
// Internal forms of the rendering entry points.

#include "api/context.h"

#include <opencv2/core.hpp>

#include <functional>

namespace vornalix::api {

// Renders the loaded image with the current settings and sets `processed`.
// Fails with "no image loaded" when there is nothing to render.
void render(VornalixContext* ctx);

// The rendered result, rendered now only when nothing has been rendered since
// the last load or reset (such a rendering leaves `processed` as it is).
// Fails with "no image loaded" when there is nothing to render.
const ImageBuffer& current_result(VornalixContext* ctx);

// Renders the R, G, B, A preview, with the background blur behind a
// segmentation mask applied, into storage(size): a matrix of that size and
// CV_8UC4 or CV_16UC4 (for example a header over a caller's buffer); storage
// may throw a Failure to refuse, after the rendering.
void render_preview(VornalixContext* ctx, const std::function<cv::Mat(cv::Size)>& storage);

}  // namespace vornalix::api
