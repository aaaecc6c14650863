// Rendering and the 8-bit preview.

#include "api/render.h"

#include "api/boundary.h"
#include "pipeline/background_blur.h"
#include "vornalix.h"

#include <functional>

namespace vornalix::api {

bool render(VornalixContext* ctx) {
    if (!require_image(ctx)) return false;
    ctx->pipeline.process(ctx->params);
    ctx->processed = true;
    return true;
}

bool render_preview(VornalixContext* ctx, const std::function<cv::Mat(cv::Size)>& storage) {
    if (!render(ctx)) return false;
    const ImageBuffer& result = ctx->pipeline.result;
    if (result.empty()) {
        set_error(ctx, "pipeline produced empty result");
        return false;
    }
    cv::Mat preview = storage(result.mat.size());
    if (preview.empty()) return false;
    // Converted straight into the storage given, so a preview costs no allocation of its own.
    cv::Mat header = preview;
    result.to_8bit(header);
    CV_Assert(header.data == preview.data);
    if (ctx->has_segmentation_mask && ctx->bg_blur > 0.0f && !ctx->segmentation_mask.empty())
        blur_background(preview, ctx->segmentation_mask, ctx->bg_blur);
    return true;
}

}  // namespace vornalix::api

extern "C" {

int vornalix_process(VornalixContext* ctx) {
    if (!ctx) return vornalix::api::kFailure;
    return vornalix::api::guarded(ctx, [&] { return vornalix::api::render(ctx) ? 0 : vornalix::api::kFailure; });
}

int vornalix_get_preview(VornalixContext* ctx, unsigned char* out, int out_size) {
    if (!ctx || !out) return vornalix::api::kFailure;
    return vornalix::api::guarded(ctx, [&] {
        auto caller_buffer = [&](cv::Size size) {
            const size_t needed = static_cast<size_t>(size.width) * 4 * static_cast<size_t>(size.height);
            if (out_size < 0 || static_cast<size_t>(out_size) < needed) {
                vornalix::api::set_error(ctx, "output buffer too small");
                return cv::Mat();
            }
            return cv::Mat(size, CV_8UC4, out);
        };
        return vornalix::api::render_preview(ctx, caller_buffer) ? 0 : vornalix::api::kFailure;
    });
}

}  // extern "C"
