// EXIF of the loaded file: the C entry point with its decoder fallback.

#include "api/boundary.h"
#include "metadata/exif.h"
#include "vornalix.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

constexpr const char* kNoFileLoaded = "no file loaded";

// Truncates toward zero; NaN gives 0 and values beyond the int range its ends.
int32_t truncate_to_int(float v) {
    constexpr float kBelowIntMax = 2147483520.0f;  // largest float below 2^31
    if (std::isnan(v)) return 0;
    if (v >= kBelowIntMax) return INT32_MAX;
    if (v <= -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// What the RAW decoder kept at load time; all 0 for a standard image.
void fill_from_shot_data(const vornalix::ArwDecoder& decoder, VornalixExif& out) {
    std::memset(&out, 0, sizeof out);
    vornalix::copy_camera_name(out.make, decoder.make);
    vornalix::copy_camera_name(out.model, decoder.model);
    out.focal_length = decoder.focal_length;
    out.aperture = decoder.aperture;
    out.exposure_time = decoder.shutter;
    out.iso = truncate_to_int(decoder.iso_speed);
    out.width = decoder.width;
    out.height = decoder.height;
    out.orientation = decoder.flip;
    out.gps_latitude = std::numeric_limits<double>::quiet_NaN();
    out.gps_longitude = std::numeric_limits<double>::quiet_NaN();
}

}  // namespace

extern "C" int vornalix_get_exif(VornalixContext* ctx, VornalixExif* out) {
    if (!ctx || !out) return vornalix::api::kFailure;
    return vornalix::api::guarded(ctx, [&] {
        if (ctx->source_path.empty()) vornalix::fail(kNoFileLoaded);
        VornalixExif record;
        if (!vornalix::metadata::read_exif(ctx->source_path, record)) fill_from_shot_data(ctx->decoder, record);
        if (!record.lens[0]) std::memcpy(record.lens, ctx->decoder.lens, sizeof record.lens);
        *out = record;
        return 0;
    });
}
