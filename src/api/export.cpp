// Export and histogram entry points: they work on the rendered result and
// render only when nothing has been rendered since the last load or reset.

#include "api/boundary.h"
#include "api/render.h"
#include "auto/histogram.h"
#include "metadata/exif.h"
#include "output/export.h"
#include "vornalix.h"

namespace {

using vornalix::api::kFailure;

void require_written(bool written, const char* message) {
    if (!written) vornalix::fail(message);
}

}  // namespace

extern "C" {

int vornalix_export_jpeg(VornalixContext* ctx, const char* path, int quality, int /*reserved*/, int keep_exif) {
    if (!ctx || !path) return kFailure;
    return vornalix::api::guarded(ctx, [&] {
        const vornalix::ImageBuffer& image = vornalix::api::current_result(ctx);
        // Taken before anything is written: the target may be the source itself.
        std::vector<unsigned char> exif;
        if (keep_exif && !ctx->source_path.empty())
            exif = vornalix::metadata::exif_block_for_copy(ctx->source_path);
        require_written(vornalix::output::write_jpeg(path, image, quality, exif), "JPEG write failed");
        return 0;
    });
}

int vornalix_export_tiff(VornalixContext* ctx, const char* path) {
    if (!ctx || !path) return kFailure;
    return vornalix::api::guarded(ctx, [&] {
        require_written(vornalix::output::write_tiff(path, vornalix::api::current_result(ctx)), "TIFF write failed");
        return 0;
    });
}

int vornalix_export_png(VornalixContext* ctx, const char* path, int bits) {
    if (!ctx || !path) return kFailure;
    return vornalix::api::guarded(ctx, [&] {
        require_written(vornalix::output::write_png(path, vornalix::api::current_result(ctx), bits),
                        "PNG write failed");
        return 0;
    });
}

int vornalix_get_histogram(VornalixContext* ctx, unsigned int* red, unsigned int* green, unsigned int* blue,
                           unsigned int* luminance) {
    if (!ctx || !red || !green || !blue || !luminance) return kFailure;
    return vornalix::api::guarded(ctx, [&] {
        const vornalix::ImageBuffer& result = vornalix::api::current_result(ctx);
        ctx->processed = true;
        vornalix::histogram::count_channels(result.to_float(), red, green, blue, luminance);
        return 0;
    });
}

}  // extern "C"
