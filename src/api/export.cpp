// Export and histogram entry points: they work on the rendered result and
// render only when nothing has been rendered since the last load or reset.

#include "api/boundary.h"
#include "api/render.h"
#include "auto/histogram.h"
#include "metadata/exif.h"
#include "output/export.h"
#include "vornalix.h"

#include <iterator>

namespace {

using vornalix::api::kFailure;

void require_written(bool written, const char* message) {
    if (!written) vornalix::fail(message);
}

// The public profile numbers, in the order of their constants.
constexpr vornalix::color_mgmt::ColorSpace kOutputSpaces[] = {
    vornalix::color_mgmt::ColorSpace::sRGB, vornalix::color_mgmt::ColorSpace::AdobeRGB,
    vornalix::color_mgmt::ColorSpace::DisplayP3, vornalix::color_mgmt::ColorSpace::ProPhotoRGB};

// The source's EXIF block for an export of `image`, taken before anything is
// written (the target may be the source itself); empty unless `keep`.
std::vector<unsigned char> exif_for_export(const VornalixContext* ctx, const vornalix::ImageBuffer& image,
                                           bool keep) {
    if (!keep || ctx->source_path.empty()) return {};
    return vornalix::metadata::exif_block_for_export(
        ctx->source_path, ctx->output_space == vornalix::color_mgmt::ColorSpace::sRGB, image.width(),
        image.height());
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

int vornalix_set_keep_exif(VornalixContext* ctx, int keep) {
    if (!ctx) return kFailure;
    ctx->keep_exif = keep != 0;
    return 0;
}

int vornalix_export_jpeg(VornalixContext* ctx, const char* path, int quality, int /*reserved*/, int keep_exif) {
    if (!ctx || !path) return kFailure;
    return vornalix::api::guarded(ctx, [&] {
        const vornalix::ImageBuffer& image = vornalix::api::current_result(ctx);
        const auto exif = exif_for_export(ctx, image, keep_exif != 0);
        require_written(vornalix::output::write_jpeg(path, image, quality, exif, ctx->output_space),
                        "JPEG write failed");
        return 0;
    });
}

int vornalix_export_tiff(VornalixContext* ctx, const char* path) {
    if (!ctx || !path) return kFailure;
    return vornalix::api::guarded(ctx, [&] {
        const vornalix::ImageBuffer& image = vornalix::api::current_result(ctx);
        const auto exif = exif_for_export(ctx, image, ctx->keep_exif);
        require_written(vornalix::output::write_tiff(path, image, ctx->output_space, exif), "TIFF write failed");
        return 0;
    });
}

int vornalix_export_png(VornalixContext* ctx, const char* path, int bits) {
    if (!ctx || !path) return kFailure;
    return vornalix::api::guarded(ctx, [&] {
        const vornalix::ImageBuffer& image = vornalix::api::current_result(ctx);
        const auto exif = exif_for_export(ctx, image, ctx->keep_exif);
        require_written(vornalix::output::write_png(path, image, bits, ctx->output_space, exif), "PNG write failed");
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
