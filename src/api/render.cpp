// Rendering and the 8-bit preview.

#include "api/render.h"

#include "api/boundary.h"
#include "pipeline/background_blur.h"
#include "vornalix.h"

#include <functional>

namespace vornalix::api {

void render(VornalixContext* ctx) {
    require_image(ctx);
    ctx->pipeline.process(ctx->params);
    ctx->processed = true;
}

const ImageBuffer& current_result(VornalixContext* ctx) {
    require_image(ctx);
    if (!ctx->processed) ctx->pipeline.process(ctx->params);
    return ctx->pipeline.result;
}

void render_preview(VornalixContext* ctx, const std::function<cv::Mat(cv::Size)>& storage) {
    render(ctx);
    const ImageBuffer& result = ctx->pipeline.result;
    if (result.empty()) fail("pipeline produced empty result");
    cv::Mat preview = storage(result.mat.size());
    // Converted straight into the storage given, so a preview costs no allocation of its own.
    cv::Mat header = preview;
    result.to_8bit(header);
    CV_Assert(header.data == preview.data);
    if (ctx->has_segmentation_mask && ctx->bg_blur > 0.0f && !ctx->segmentation_mask.empty())
        blur_background(preview, ctx->segmentation_mask, ctx->bg_blur, ctx->pipeline.pixel_scale);
}

}  // namespace vornalix::api

extern "C" {

int vornalix_process(VornalixContext* ctx) {
    if (!ctx) return vornalix::api::kFailure;
    return vornalix::api::guarded(ctx, [&] {
        vornalix::api::render(ctx);
        return 0;
    });
}

int vornalix_get_preview(VornalixContext* ctx, unsigned char* out, int out_size) {
    if (!ctx || !out) return vornalix::api::kFailure;
    return vornalix::api::guarded(ctx, [&] {
        auto caller_buffer = [&](cv::Size size) {
            const size_t needed = static_cast<size_t>(size.width) * 4 * static_cast<size_t>(size.height);
            if (out_size < 0 || static_cast<size_t>(out_size) < needed) vornalix::fail("output buffer too small");
            return cv::Mat(size, CV_8UC4, out);
        };
        vornalix::api::render_preview(ctx, caller_buffer);
        return 0;
    });
}

}  // extern "C"
