// Edit-setting setters: values are stored exactly as given; only indexes,
// counts and pointers are checked.

#include "api/boundary.h"
#include "vornalix.h"

#include <utility>
#include <vector>

namespace {

using vornalix::EditParams;

template <class T>
void store(VornalixContext* ctx, T EditParams::*field, T value) {
    if (ctx) ctx->params.*field = value;
}

}  // namespace

extern "C" {

void vornalix_set_exposure(VornalixContext* ctx, float v) { store(ctx, &EditParams::exposure, v); }
void vornalix_set_brightness(VornalixContext* ctx, float v) { store(ctx, &EditParams::brightness, v); }
void vornalix_set_contrast(VornalixContext* ctx, float v) { store(ctx, &EditParams::contrast, v); }
void vornalix_set_highlights(VornalixContext* ctx, float v) { store(ctx, &EditParams::highlights, v); }
void vornalix_set_shadows(VornalixContext* ctx, float v) { store(ctx, &EditParams::shadows, v); }
void vornalix_set_whites(VornalixContext* ctx, float v) { store(ctx, &EditParams::whites, v); }
void vornalix_set_blacks(VornalixContext* ctx, float v) { store(ctx, &EditParams::blacks, v); }
void vornalix_set_temperature(VornalixContext* ctx, float v) { store(ctx, &EditParams::temperature, v); }
void vornalix_set_tint(VornalixContext* ctx, float v) { store(ctx, &EditParams::tint, v); }
void vornalix_set_saturation(VornalixContext* ctx, float v) { store(ctx, &EditParams::saturation, v); }
void vornalix_set_vibrance(VornalixContext* ctx, float v) { store(ctx, &EditParams::vibrance, v); }
void vornalix_set_sharpening_amount(VornalixContext* ctx, float v) { store(ctx, &EditParams::sharpening_amount, v); }
void vornalix_set_sharpening_radius(VornalixContext* ctx, float v) { store(ctx, &EditParams::sharpening_radius, v); }
void vornalix_set_sharpening_threshold(VornalixContext* ctx, float v) { store(ctx, &EditParams::sharpening_threshold, v); }
void vornalix_set_nr_luminance(VornalixContext* ctx, float v) { store(ctx, &EditParams::nr_luminance, v); }
void vornalix_set_nr_color(VornalixContext* ctx, float v) { store(ctx, &EditParams::nr_color, v); }
void vornalix_set_clarity(VornalixContext* ctx, float v) { store(ctx, &EditParams::clarity, v); }
void vornalix_set_texture(VornalixContext* ctx, float v) { store(ctx, &EditParams::texture, v); }
void vornalix_set_dehaze(VornalixContext* ctx, float v) { store(ctx, &EditParams::dehaze, v); }
void vornalix_set_distortion(VornalixContext* ctx, float v) { store(ctx, &EditParams::distortion, v); }
void vornalix_set_ca_correction(VornalixContext* ctx, float v) { store(ctx, &EditParams::ca_correction, v); }
void vornalix_set_lens_vignette(VornalixContext* ctx, float v) { store(ctx, &EditParams::lens_vignette, v); }
void vornalix_set_defringe(VornalixContext* ctx, float v) { store(ctx, &EditParams::defringe, v); }
void vornalix_set_rotation(VornalixContext* ctx, float v) { store(ctx, &EditParams::rotation, v); }
void vornalix_set_perspective_h(VornalixContext* ctx, float v) { store(ctx, &EditParams::perspective_h, v); }
void vornalix_set_perspective_v(VornalixContext* ctx, float v) { store(ctx, &EditParams::perspective_v, v); }
void vornalix_set_flip_h(VornalixContext* ctx, int v) { store(ctx, &EditParams::flip_h, v); }
void vornalix_set_flip_v(VornalixContext* ctx, int v) { store(ctx, &EditParams::flip_v, v); }
void vornalix_set_vignette_amount(VornalixContext* ctx, float v) { store(ctx, &EditParams::vignette_amount, v); }
void vornalix_set_vignette_midpoint(VornalixContext* ctx, float v) { store(ctx, &EditParams::vignette_midpoint, v); }
void vornalix_set_vignette_roundness(VornalixContext* ctx, float v) { store(ctx, &EditParams::vignette_roundness, v); }
void vornalix_set_grain_amount(VornalixContext* ctx, float v) { store(ctx, &EditParams::grain_amount, v); }
void vornalix_set_grain_size(VornalixContext* ctx, float v) { store(ctx, &EditParams::grain_size, v); }

void vornalix_set_crop(VornalixContext* ctx, float x, float y, float w, float h) {
    if (!ctx) return;
    ctx->params.crop_x = x;
    ctx->params.crop_y = y;
    ctx->params.crop_w = w;
    ctx->params.crop_h = h;
}

void vornalix_set_tone_curve(VornalixContext* ctx, int channel, const float* points, int count) {
    if (!ctx || !points || count < 2 || static_cast<unsigned>(channel) > 3) return;
    vornalix::api::guarded_void([&] {
        // Build the new list first so a failed allocation leaves the old curve intact.
        std::vector<std::pair<float, float>> list;
        list.reserve(static_cast<size_t>(count));
        for (int i = 0; i < count; ++i) list.emplace_back(points[2 * i], points[2 * i + 1]);
        ctx->params.curves[static_cast<size_t>(channel)].points.swap(list);
    });
}

void vornalix_reset_tone_curve(VornalixContext* ctx, int channel) {
    if (!ctx || static_cast<unsigned>(channel) > 3) return;
    vornalix::api::guarded_void([&] { ctx->params.curves[static_cast<size_t>(channel)] = vornalix::CurvePoints(); });
}

void vornalix_set_hsl(VornalixContext* ctx, int band, float hue, float saturation, float luminance) {
    if (!ctx || static_cast<unsigned>(band) > 7) return;
    ctx->params.hsl[static_cast<size_t>(band)] = {hue, saturation, luminance};
}

void vornalix_set_split_toning(VornalixContext* ctx, int region, float hue, float saturation, float balance) {
    if (!ctx) return;
    if (region == 0) {
        ctx->params.split_highlight_hue = hue;
        ctx->params.split_highlight_saturation = saturation;
        ctx->params.split_balance = balance;
    } else {
        ctx->params.split_shadow_hue = hue;
        ctx->params.split_shadow_saturation = saturation;
    }
}

void vornalix_reset_adjustments(VornalixContext* ctx) {
    if (!ctx) return;
    vornalix::api::guarded_void([&] {
        ctx->params = EditParams();
        ctx->processed = false;
    });
}

}  // extern "C"
