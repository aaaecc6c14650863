// Rendering and the 8- and 16-bit previews.

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
    if (preview.depth() == CV_8U)
        result.to_8bit(header);
    else
        result.mat.copyTo(header);
    CV_Assert(header.data == preview.data);
    if (ctx->has_segmentation_mask && ctx->bg_blur > 0.0f && !ctx->segmentation_mask.empty())
        blur_background(preview, ctx->pipeline.follow_render(ctx->segmentation_mask), ctx->bg_blur,
                        ctx->pipeline.pixel_scale);
}

// The C entry points' preview into a caller's buffer of `out_bytes` bytes,
// refused as too small before anything is written.
template <typename Sample>
int preview_into(VornalixContext* ctx, Sample* out, int out_bytes) {
    if (!ctx || !out) return kFailure;
    return guarded(ctx, [&] {
        auto caller_buffer = [&](cv::Size size) {
            const size_t needed =
                static_cast<size_t>(size.width) * 4 * static_cast<size_t>(size.height) * sizeof(Sample);
            if (out_bytes < 0 || static_cast<size_t>(out_bytes) < needed) fail("output buffer too small");
            return cv::Mat(size, CV_MAKETYPE(cv::DataType<Sample>::depth, 4), out);
        };
        render_preview(ctx, caller_buffer);
        return 0;
    });
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
    return vornalix::api::preview_into(ctx, out, out_size);
}

int vornalix_get_preview16(VornalixContext* ctx, unsigned short* out, int out_bytes) {
    return vornalix::api::preview_into(ctx, out, out_bytes);
}

}  // extern "C"
