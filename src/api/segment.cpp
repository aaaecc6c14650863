// C entry points of subject segmentation: the mask, the preview's background
// blur strength, mask read-out and the cut-out file.

#include "api/boundary.h"
#include "api/render.h"
#include "output/export.h"
#include "segment/segmentation.h"
#include "vornalix.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace vornalix;

constexpr int kBufferTooSmall = -2;
constexpr int kWriteFailed = -2;

std::string size_text(cv::Size size) { return std::to_string(size.width) + "x" + std::to_string(size.height); }

}  // namespace

extern "C" {

int vornalix_segment_subject(VornalixContext* ctx, float subject_x, float subject_y) {
    if (!ctx) return api::kFailure;
    return api::guarded(ctx, [&] {
        api::require_image(ctx);
        ctx->segmentation_mask = segment::subject_mask(ctx->unedited_image(), subject_x, subject_y);
        ctx->has_segmentation_mask = true;
        return 0;
    });
}

void vornalix_set_bg_blur(VornalixContext* ctx, float amount) {
    if (!ctx) return;
    // NaN counts as off.
    ctx->bg_blur = amount > 0.0f ? std::min(amount, 100.0f) : 0.0f;
}

int vornalix_get_mask(VornalixContext* ctx, unsigned char* buffer, int buffer_size) {
    if (!ctx || !buffer) return api::kFailure;
    return api::guarded(ctx, [&] {
        const cv::Mat& mask = ctx->segmentation_mask;
        if (!ctx->has_segmentation_mask || mask.empty())
            fail("no segmentation mask \xe2\x80\x94 call vornalix_segment_subject first");
        if (static_cast<long long>(buffer_size) < static_cast<long long>(mask.rows) * mask.cols)
            fail("output buffer too small", kBufferTooSmall);
        for (int y = 0; y < mask.rows; ++y)
            std::memcpy(buffer + static_cast<size_t>(y) * mask.cols, mask.ptr<unsigned char>(y), mask.cols);
        return 0;
    });
}

int vornalix_export_subject_png(VornalixContext* ctx, const char* path) {
    if (!ctx || !path) return api::kFailure;
    return api::guarded(ctx, [&] {
        if (!ctx->has_segmentation_mask || ctx->segmentation_mask.empty()) fail("no segmentation mask");
        // The mask outlives unloading; without an image there is nothing to cut out.
        const ImageBuffer& rendered = api::current_result(ctx);
        // The mask follows the rendering's geometry, but only from the image it was made on.
        const cv::Size made_on = ctx->segmentation_mask.size(), loaded = ctx->pipeline.source.mat.size();
        if (made_on != loaded)
            fail("segmentation mask was made on a " + size_text(made_on) + " image, the loaded image is " +
                 size_text(loaded) + " (another image or size) \xe2\x80\x94 call vornalix_segment_subject again");
        const cv::Mat mask = ctx->pipeline.follow_render(ctx->segmentation_mask);
        const ImageBuffer in_space = output::in_output_space(rendered, ctx->output_space);
        if (!output::write_cutout(path, segment::cutout_bgra(in_space, mask), ctx->output_space))
            fail("failed to write PNG", kWriteFailed);
        return 0;
    });
}

}  // extern "C"
