// Loading, unloading and the size queries.
//
// A load does all its fallible work (decoding, the copy for the pipeline,
// fresh settings) into locals and then commits them together, so a failed
// load leaves the image, the settings, source_path and the decoder's image
// and shot data exactly as they were.

#include "api/load.h"

#include "api/boundary.h"
#include "image/loader.h"
#include "vornalix.h"

#include <algorithm>
#include <string>
#include <utility>

namespace vornalix::api {

namespace {

void load_standard(VornalixContext* ctx, const std::string& path) {
    ImageBuffer image = load_standard_image(path);
    EditParams fresh;
    std::string new_path = path;
    ctx->pipeline.source = std::move(image);  // a fresh buffer: already independent
    ctx->source_path = std::move(new_path);
    ctx->params = std::move(fresh);
    ctx->decoder.reset();
    ctx->pipeline.lens_profile = {};
}

void load_raw(VornalixContext* ctx, const std::string& path, int scale) {
    RawDecodeResult decoded = ctx->decoder.decode(path, scale);
    ImageBuffer source;
    source.copy_from(decoded.image);  // the pipeline keeps its own copy
    EditParams fresh;
    std::string new_path = path;
    ctx->decoder.commit(std::move(decoded));
    ctx->pipeline.source = std::move(source);
    ctx->pipeline.lens_profile = ctx->decoder.lens_profile;
    ctx->source_path = std::move(new_path);
    ctx->params = std::move(fresh);
}

}  // namespace

void load(VornalixContext* ctx, const std::string& path, int scale) {
    ctx->processed = false;
    scale = std::clamp(scale, 1, 4);
    if (is_standard_image(path))
        load_standard(ctx, path);
    else
        load_raw(ctx, path, scale);
}

void unload(VornalixContext* ctx) noexcept {
    ctx->decoder.reset();
    ctx->pipeline.lens_profile = {};
    ctx->pipeline.source = ImageBuffer();
    ctx->pipeline.result = ImageBuffer();
    ctx->processed = false;
    ctx->source_path.clear();
}

namespace {

// Size of the rendered result while it is current, else of the loaded image.
cv::Size current_size(const VornalixContext* ctx) {
    if (ctx->processed && !ctx->pipeline.result.empty()) return ctx->pipeline.result.mat.size();
    if (ctx->decoder.image.empty()) return ctx->pipeline.source.mat.size();
    return ctx->decoder.image.mat.size();
}

}  // namespace

int current_width(const VornalixContext* ctx) { return current_size(ctx).width; }
int current_height(const VornalixContext* ctx) { return current_size(ctx).height; }

}  // namespace vornalix::api

extern "C" {

int vornalix_load_arw(VornalixContext* ctx, const char* path, int scale) {
    if (!ctx || !path) return vornalix::api::kFailure;
    ctx->processed = false;
    return vornalix::api::guarded(ctx, [&] {
        vornalix::api::load(ctx, path, scale);
        return 0;
    });
}

void vornalix_unload(VornalixContext* ctx) {
    if (!ctx) return;
    vornalix::api::unload(ctx);
}

int vornalix_get_width(VornalixContext* ctx) {
    return ctx ? vornalix::api::current_width(ctx) : 0;
}

int vornalix_get_height(VornalixContext* ctx) {
    return ctx ? vornalix::api::current_height(ctx) : 0;
}

}  // extern "C"
