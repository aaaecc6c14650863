// Rendering and the 8-bit preview.

#include "api/render.h"

#include "api/boundary.h"
#include "pipeline/background_blur.h"
#include "vornalix.h"

#include <cstring>

namespace vornalix::api {

bool render(VornalixContext* ctx) {
    if (!require_image(ctx)) return false;
    ctx->pipeline.process(ctx->params);
    ctx->processed = true;
    return true;
}

cv::Mat render_preview(VornalixContext* ctx) {
    if (!render(ctx)) return {};
    cv::Mat preview = ctx->pipeline.get_preview_8bit();
    if (preview.empty()) {
        set_error(ctx, "pipeline produced empty result");
        return {};
    }
    if (ctx->has_segmentation_mask && ctx->bg_blur > 0.0f && !ctx->segmentation_mask.empty())
        blur_background(preview, ctx->segmentation_mask, ctx->bg_blur);
    return preview;
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
        const cv::Mat preview = vornalix::api::render_preview(ctx);
        if (preview.empty()) return vornalix::api::kFailure;
        const size_t row_bytes = static_cast<size_t>(preview.cols) * 4;
        const size_t needed = row_bytes * static_cast<size_t>(preview.rows);
        if (out_size < 0 || static_cast<size_t>(out_size) < needed) {
            vornalix::api::set_error(ctx, "output buffer too small");
            return vornalix::api::kFailure;
        }
        for (int y = 0; y < preview.rows; ++y)
            std::memcpy(out + y * row_bytes, preview.ptr(y), row_bytes);
        return 0;
    });
}

}  // extern "C"
