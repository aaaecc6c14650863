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

// One setter per plain row of the settings table.
#define VORNALIX_PLAIN_SETTER(key, type, ...) \
    void vornalix_set_##key(VornalixContext* ctx, type v) { store(ctx, &EditParams::key, v); }
VORNALIX_SETTINGS(VORNALIX_PLAIN_SETTER, VORNALIX_SETTINGS_SKIP)
#undef VORNALIX_PLAIN_SETTER

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
