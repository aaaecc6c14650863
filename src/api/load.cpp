// Loading, unloading and the size queries.
//
// A load does all its fallible work (decoding, the copy for the pipeline,
// fresh settings) into locals and then commits them together, so a failed
// load leaves the image, the settings, source_path and the decoder's image
// and shot data exactly as they were.

#include "api/load.h"

#include "api/boundary.h"
#include "image/loader.h"
#include "image/size_bound.h"
#include "vornalix.h"

#include <algorithm>
#include <string>
#include <utility>

namespace vornalix::api {

namespace {

// Takes over a loaded image: the pipeline's source, its sizes, fresh settings.
void commit_source(VornalixContext* ctx, ImageBuffer&& image, cv::Size full_size, int default_max_side,
                   std::string path) {
    EditParams fresh;  // the one step that may fail, taken before anything changes
    ctx->pipeline.pixel_scale = pixel_scale(full_size, image.mat.size(), default_max_side);
    ctx->pipeline.source = std::move(image);
    ctx->full_size = full_size;
    ctx->source_path = std::move(path);
    ctx->params = std::move(fresh);
}

void load_standard(VornalixContext* ctx, const std::string& path) {
    cv::Size full_size;
    ImageBuffer image = load_standard_image(path, working_max_side(ctx->size_limit, kStandardMaxSide), full_size);
    commit_source(ctx, std::move(image), full_size, kStandardMaxSide, path);
    ctx->decoder.reset();
    ctx->pipeline.lens_profile = {};
}

void load_raw(VornalixContext* ctx, const std::string& path, int scale) {
    RawDecodeResult decoded = ctx->decoder.decode(path, scale, working_max_side(ctx->size_limit, kRawMaxSide));
    // No stage writes into the source, so the pipeline shares the decoder's pixels.
    ImageBuffer source;
    source.mat = decoded.image.mat;
    const cv::Size full_size = decoded.full_size;
    commit_source(ctx, std::move(source), full_size, kRawMaxSide, path);
    ctx->decoder.commit(std::move(decoded));
    ctx->pipeline.lens_profile = ctx->decoder.lens_profile;
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
    ctx->pipeline.release_scratch();
    ctx->processed = false;
    ctx->source_path.clear();
    ctx->full_size = cv::Size();
    ctx->pipeline.pixel_scale = 1.0f;
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

int vornalix_set_size_limit(VornalixContext* ctx, int long_side) {
    if (!ctx) return vornalix::api::kFailure;
    ctx->size_limit = long_side < 0 ? -1 : long_side;
    return 0;
}

int vornalix_get_full_size(VornalixContext* ctx, int* width, int* height) {
    if (!ctx || !width || !height || !ctx->has_image()) return vornalix::api::kFailure;
    *width = ctx->full_size.width;
    *height = ctx->full_size.height;
    return 0;
}

int vornalix_get_width(VornalixContext* ctx) {
    return ctx ? vornalix::api::current_width(ctx) : 0;
}

int vornalix_get_height(VornalixContext* ctx) {
    return ctx ? vornalix::api::current_height(ctx) : 0;
}

}  // extern "C"
