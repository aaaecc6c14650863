// Export and histogram entry points: they work on the rendered result and
// render only when nothing has been rendered since the last load or reset.

#include "api/boundary.h"
#include "metadata/exif.h"
#include "output/export.h"
#include "output/histogram.h"
#include "vornalix.h"

#include <iterator>

namespace {

using vornalix::api::kFailure;

// The common beginning of the exports: the existing rendering, or a fresh
// one that does not count as "processed".
const vornalix::ImageBuffer* rendered_for_export(VornalixContext* ctx) {
    if (!vornalix::api::require_image(ctx)) return nullptr;
    if (!ctx->processed) ctx->pipeline.process(ctx->params);
    return &ctx->pipeline.result;
}

// The public profile numbers, in the order of their constants.
constexpr vornalix::color_mgmt::ColorSpace kOutputSpaces[] = {
    vornalix::color_mgmt::ColorSpace::sRGB, vornalix::color_mgmt::ColorSpace::AdobeRGB,
    vornalix::color_mgmt::ColorSpace::DisplayP3, vornalix::color_mgmt::ColorSpace::ProPhotoRGB};

int written_or_failed(VornalixContext* ctx, bool written, const char* message) {
    if (written) return 0;
    vornalix::api::set_error(ctx, message);
    return kFailure;
}

}  // namespace

extern "C" {

int vornalix_set_output_profile(VornalixContext* ctx, int profile) {
    if (!ctx) return kFailure;
    if (profile < 0 || profile >= static_cast<int>(std::size(kOutputSpaces))) {
        vornalix::api::set_error(ctx, "unknown output profile");
        return kFailure;
    }
    ctx->output_space = kOutputSpaces[profile];
    return 0;
}

int vornalix_export_jpeg(VornalixContext* ctx, const char* path, int quality, int /*reserved*/, int keep_exif) {
    if (!ctx || !path) return kFailure;
    return vornalix::api::guarded(ctx, [&] {
        const vornalix::ImageBuffer* image = rendered_for_export(ctx);
        if (!image) return kFailure;
        // Taken before anything is written: the target may be the source itself.
        std::vector<unsigned char> exif;
        if (keep_exif && !ctx->source_path.empty())
            exif = vornalix::metadata::exif_block_for_export(
                ctx->source_path, ctx->output_space == vornalix::color_mgmt::ColorSpace::sRGB);
        return written_or_failed(
            ctx, vornalix::output::write_jpeg(path, *image, quality, exif, ctx->output_space),
            "JPEG write failed");
    });
}

int vornalix_export_tiff(VornalixContext* ctx, const char* path) {
    if (!ctx || !path) return kFailure;
    return vornalix::api::guarded(ctx, [&] {
        const vornalix::ImageBuffer* image = rendered_for_export(ctx);
        if (!image) return kFailure;
        return written_or_failed(ctx, vornalix::output::write_tiff(path, *image, ctx->output_space),
                                 "TIFF write failed");
    });
}

int vornalix_export_png(VornalixContext* ctx, const char* path, int bits) {
    if (!ctx || !path) return kFailure;
    return vornalix::api::guarded(ctx, [&] {
        const vornalix::ImageBuffer* image = rendered_for_export(ctx);
        if (!image) return kFailure;
        return written_or_failed(ctx, vornalix::output::write_png(path, *image, bits, ctx->output_space),
                                 "PNG write failed");
    });
}

int vornalix_get_histogram(VornalixContext* ctx, unsigned int* red, unsigned int* green, unsigned int* blue,
                           unsigned int* luminance) {
    if (!ctx || !red || !green || !blue || !luminance) return kFailure;
    return vornalix::api::guarded(ctx, [&] {
        if (!ctx->processed) {
            if (!vornalix::api::require_image(ctx)) return kFailure;
            ctx->pipeline.process(ctx->params);
            ctx->processed = true;
        }
        vornalix::output::compute_histograms(ctx->pipeline.result, red, green, blue, luminance);
        return 0;
    });
}

}  // extern "C"
