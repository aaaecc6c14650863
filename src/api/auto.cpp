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

// The unedited loaded image reduced to `size` (a width, or a cv::Size);
// fails with "no image loaded" without one.
template <class Size>
cv::Mat analysis_copy(const VornalixContext* ctx, Size size) {
    api::require_image(ctx);
    return analysis::reduced_copy(ctx->unedited_image(), size);
}

analysis::Suggestions enhance(const VornalixContext* ctx) {
    return analysis::enhance_suggestions(analysis_copy(ctx, analysis::kEnhanceWidth));
}

}  // namespace

extern "C" {

int vornalix_auto_enhance(VornalixContext* ctx, float* out) {
    if (!ctx || !out) return api::kFailure;
    return api::guarded(ctx, [&] {
        const analysis::Suggestions s = enhance(ctx);
        std::copy(s.begin(), s.end(), out);
        return 0;
    });
}

int vornalix_auto_white_balance(VornalixContext* ctx, float* temperature, float* tint) {
    if (!ctx || !temperature || !tint) return api::kFailure;
    return api::guarded(ctx, [&] {
        const analysis::Suggestions s = enhance(ctx);
        *temperature = s[analysis::entry::temperature];
        *tint = s[analysis::entry::tint];
        return 0;
    });
}

int vornalix_auto_exposure(VornalixContext* ctx, float* ev) {
    if (!ctx || !ev) return api::kFailure;
    return api::guarded(ctx, [&] {
        const cv::Size side(analysis::kExposureSide, analysis::kExposureSide);
        *ev = analysis::exposure_suggestion(analysis_copy(ctx, side));
        return 0;
    });
}

int vornalix_auto_straighten(VornalixContext* ctx, float* degrees) {
    if (!ctx || !degrees) return api::kFailure;
    return api::guarded(ctx, [&] {
        *degrees = analysis::straighten_suggestion(analysis_copy(ctx, analysis::kStraightenWidth));
        return 0;
    });
}

int vornalix_auto_crop(VornalixContext* ctx, float* x, float* y, float* w, float* h) {
    if (!ctx || !x || !y || !w || !h) return api::kFailure;
    return api::guarded(ctx, [&] {
        constexpr float kAspect = 1.5f;
        constexpr float kMargin = 0.02f;
        float rx, ry, rw, rh;
        autocrop::compute_auto_crop(analysis_copy(ctx, analysis::kCropWidth), kAspect, kMargin, rx, ry, rw, rh);
        *x = rx;
        *y = ry;
        *w = rw;
        *h = rh;
        return 0;
    });
}

}  // extern "C"
