// C entry points of subject segmentation: the mask, the preview's background
// blur strength, mask read-out and the cut-out file.

#include "api/boundary.h"
#include "output/export.h"
#include "segment/segmentation.h"
#include "vornalix.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

using namespace vornalix;

constexpr int kGrabCutFailed = -2;
constexpr int kBufferTooSmall = -2;
constexpr int kWriteFailed = -2;

}  // namespace

extern "C" {

int vornalix_segment_subject(VornalixContext* ctx, float subject_x, float subject_y) {
    if (!ctx) return api::kFailure;
    return api::guarded(ctx, [&] {
        if (!api::require_image(ctx)) return api::kFailure;
        cv::Mat mask;
        try {
            mask = segment::subject_mask(ctx->unedited_image(), subject_x, subject_y);
        } catch (const segment::GrabCutFailed& e) {
            api::set_error(ctx, e.what());
            return kGrabCutFailed;
        }
        ctx->segmentation_mask = mask;
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
        if (!ctx->has_segmentation_mask || mask.empty()) {
            api::set_error(ctx, "no segmentation mask \xe2\x80\x94 call vornalix_segment_subject first");
            return api::kFailure;
        }
        if (static_cast<long long>(buffer_size) < static_cast<long long>(mask.rows) * mask.cols)
            return kBufferTooSmall;
        for (int y = 0; y < mask.rows; ++y)
            std::memcpy(buffer + static_cast<size_t>(y) * mask.cols, mask.ptr<unsigned char>(y), mask.cols);
        return 0;
    });
}

int vornalix_export_subject_png(VornalixContext* ctx, const char* path) {
    if (!ctx || !path) return api::kFailure;
    return api::guarded(ctx, [&] {
        if (!ctx->has_segmentation_mask || ctx->segmentation_mask.empty()) {
            api::set_error(ctx, "no segmentation mask");
            return api::kFailure;
        }
        // The mask outlives unloading; without an image there is nothing to cut out.
        if (!api::require_image(ctx)) return api::kFailure;
        if (!ctx->processed) ctx->pipeline.process(ctx->params);
        const ImageBuffer& rendered = ctx->pipeline.result;
        if (rendered.mat.size() != ctx->segmentation_mask.size()) {
            api::set_error(ctx,
                           "segmentation mask size differs from the rendered image "
                           "(crop, rotation or another image) \xe2\x80\x94 call vornalix_segment_subject again");
            return api::kFailure;
        }
        const ImageBuffer in_space = output::in_output_space(rendered, ctx->output_space);
        if (!output::write_cutout(path, segment::cutout_bgra(in_space, ctx->segmentation_mask), ctx->output_space)) {
            api::set_error(ctx, "failed to write PNG");
            return kWriteFailed;
        }
        return 0;
    });
}

}  // extern "C"
