// C entry points of the automatic analyses. Each measures a reduced copy of
// the unedited loaded image and only reports; no setting changes.

#include "api/boundary.h"
#include "auto/analysis_image.h"
#include "auto/autocrop.h"
#include "auto/suggestions.h"
#include "vornalix.h"

#include <algorithm>

namespace {

using namespace vornalix;

// Fills all 32 entries of `out`; writes nothing when no image is loaded.
void run_auto_analysis(VornalixContext* ctx, float* out) {
    if (!ctx->has_image()) return;
    const analysis::Suggestions s =
        analysis::enhance_suggestions(analysis::reduced_copy(ctx->unedited_image(), analysis::kEnhanceWidth));
    std::copy(s.begin(), s.end(), out);
}

}  // namespace

extern "C" {

int vornalix_auto_enhance(VornalixContext* ctx, float* out) {
    if (!ctx || !out) return api::kFailure;
    return api::guarded(ctx, [&] {
        if (!api::require_image(ctx)) return api::kFailure;
        run_auto_analysis(ctx, out);
        return 0;
    });
}

int vornalix_auto_white_balance(VornalixContext* ctx, float* temperature, float* tint) {
    if (!ctx || !temperature || !tint) return api::kFailure;
    return api::guarded(ctx, [&] {
        if (!api::require_image(ctx)) return api::kFailure;
        float all[analysis::kSuggestionCount] = {};
        run_auto_analysis(ctx, all);
        *temperature = all[analysis::entry::temperature];
        *tint = all[analysis::entry::tint];
        return 0;
    });
}

int vornalix_auto_exposure(VornalixContext* ctx, float* ev) {
    if (!ctx || !ev) return api::kFailure;
    return api::guarded(ctx, [&] {
        if (!api::require_image(ctx)) return api::kFailure;
        const cv::Size side(analysis::kExposureSide, analysis::kExposureSide);
        *ev = analysis::exposure_suggestion(analysis::reduced_copy(ctx->unedited_image(), side));
        return 0;
    });
}

int vornalix_auto_straighten(VornalixContext* ctx, float* degrees) {
    if (!ctx || !degrees) return api::kFailure;
    return api::guarded(ctx, [&] {
        if (!api::require_image(ctx)) return api::kFailure;
        *degrees = analysis::straighten_suggestion(
            analysis::reduced_copy(ctx->unedited_image(), analysis::kStraightenWidth));
        return 0;
    });
}

int vornalix_auto_crop(VornalixContext* ctx, float* x, float* y, float* w, float* h) {
    if (!ctx || !x || !y || !w || !h) return api::kFailure;
    return api::guarded(ctx, [&] {
        if (!api::require_image(ctx)) return api::kFailure;
        constexpr float kAspect = 1.5f;
        constexpr float kMargin = 0.02f;
        float rx, ry, rw, rh;
        autocrop::compute_auto_crop(analysis::reduced_copy(ctx->unedited_image(), analysis::kCropWidth),
                                    kAspect, kMargin, rx, ry, rw, rh);
        *x = rx;
        *y = ry;
        *w = rw;
        *h = rh;
        return 0;
    });
}

}  // extern "C"
