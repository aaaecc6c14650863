// C entry points of the automatic analyses. Each measures a reduced copy of
// the unedited loaded image and only reports; no setting changes.

#include "api/boundary.h"
#include "auto/analysis_image.h"
#include "auto/autocrop.h"
#include "auto/camera_curve.h"
#include "auto/suggestions.h"
#include "auto/white_balance.h"
#include "codec/image_read.h"
#include "color/input_profile.h"
#include "image/thumbnail.h"
#include "vornalix.h"

#include <opencv2/imgproc.hpp>

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

// The camera's own picture of the loaded RAW file (its embedded JPEG, or a
// bitmap thumbnail), reduced like the analysis copy of the development.
cv::Mat camera_picture(const VornalixContext* ctx) {
    api::require_image(ctx);
    if (ctx->decoder.image.empty()) fail("the camera's look needs a RAW file");
    RawThumbnail thumb;
    try {
        thumb = read_raw_thumbnail(ctx->source_path);
    } catch (const Failure&) {
        fail("the RAW file holds no picture of the camera's own");
    }
    cv::Mat rgb = thumb.rgb;
    if (!thumb.jpeg.empty()) {
        try {
            rgb = color_mgmt::to_8bit(color_mgmt::to_srgb(codec::decode_image(thumb.jpeg, ctx->source_path)));
        } catch (const Failure&) {
            fail("the camera's embedded JPEG cannot be read");
        }
    }
    return analysis::reduced_copy(ImageBuffer(rgb), analysis::kEnhanceWidth);
}

analysis::CameraLook camera_look(const VornalixContext* ctx) {
    const cv::Mat camera = camera_picture(ctx);
    return analysis::fit_camera_look(analysis_copy(ctx, analysis::kEnhanceWidth), camera);
}

}  // namespace

extern "C" {

int vornalix_camera_curve(VornalixContext* ctx, int channel, float* points, int max_points, int* count) {
    if (!ctx || !points || !count) return api::kFailure;
    return api::guarded(ctx, [&] {
        if (channel < 0 || channel > 3) fail("curve channel must be 0..3");
        if (max_points < analysis::kCameraCurvePoints) fail("the camera curve needs room for 16 points");
        const CurvePoints curve = camera_look(ctx).curves[channel];
        for (const auto& [x, y] : curve.points) {
            *points++ = x;
            *points++ = y;
        }
        *count = static_cast<int>(curve.points.size());
        return 0;
    });
}

int vornalix_camera_saturation(VornalixContext* ctx, float* saturation) {
    if (!ctx || !saturation) return api::kFailure;
    return api::guarded(ctx, [&] {
        *saturation = camera_look(ctx).saturation;
        return 0;
    });
}

int vornalix_measure_white_balance(VornalixContext* ctx, float* temperature, float* tint) {
    if (!ctx || !temperature || !tint) return api::kFailure;
    return api::guarded(ctx, [&] {
        const analysis::WhiteBalance wb =
            analysis::measure_white_balance(analysis_copy(ctx, analysis::kEnhanceWidth));
        *temperature = wb.temperature;
        *tint = wb.tint;
        return 0;
    });
}

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
