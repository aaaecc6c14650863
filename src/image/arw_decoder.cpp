#include "image/arw_decoder.h"

#include "image/image_probe.h"
#include "image/libraw_processor.h"
#include "image/size_bound.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vornalix {

namespace {

// At most 63 characters, so the last byte stays NUL.
void copy_name(char (&dst)[64], const char (&src)[64]) {
    std::memset(dst, 0, sizeof dst);
    std::memcpy(dst, src, strnlen(src, sizeof dst - 1));
}

}  // namespace

bool decode_raw(const std::string& path, int scale, RawDecodeResult& out, std::string& error) {
    scale = std::clamp(scale, 1, 4);
    LibRawPtr raw = make_libraw_processor();

    int code = raw->open_file(path.c_str());
    if (code != LIBRAW_SUCCESS) {
        error = libraw_message("LibRaw open_file failed: ", code);
        return false;
    }
    // Refuse before unpack, which allocates for the raw frame it claims.
    if (!frame_within_bound(*raw)) {
        const libraw_image_sizes_t& s = raw->imgdata.sizes;
        ImageHeader claimed;
        claimed.width = std::max<int>(s.raw_width, s.width);
        claimed.height = std::max<int>(s.raw_height, s.height);
        error = "RAW frame too large: " + too_large_text(claimed);
        return false;
    }
    set_srgb16_output(*raw, scale > 1);

    if ((code = raw->unpack()) != LIBRAW_SUCCESS) {
        error = libraw_message("LibRaw unpack failed: ", code);
        return false;
    }
    if ((code = raw->dcraw_process()) != LIBRAW_SUCCESS) {
        error = libraw_message("LibRaw dcraw_process failed: ", code);
        return false;
    }
    // Upright colour images are converted where LibRaw left them; any other
    // is copied out by LibRaw itself.
    cv::Mat developed = develop_in_place(*raw);
    const bool in_place = !developed.empty();
    if (!in_place) {
        std::string why;
        developed = copy_developed_image(*raw, why);
        if (developed.empty()) {
            error = "LibRaw could not return the developed image: " + why;
            return false;
        }
    }
    const uchar* full_size = developed.data;
    if (scale == 4) developed = halve(developed);
    developed = bound_long_side(developed, kRawMaxSide);
    // Unreduced, the image converted in place is still the processor's memory.
    if (in_place && developed.data == full_size) developed = developed.clone();

    RawDecodeResult r;
    const libraw_data_t& d = raw->imgdata;
    r.iso_speed = d.other.iso_speed;
    r.shutter = d.other.shutter;
    r.aperture = d.other.aperture;
    r.focal_length = d.other.focal_len;
    copy_name(r.make, d.idata.make);
    copy_name(r.model, d.idata.model);
    r.flip = d.sizes.flip;
    raw.reset();

    if (in_place)
        r.image.mat = developed;  // R, G, B, A already
    else
        r.image = ImageBuffer(developed);
    out = std::move(r);
    return true;
}

bool ArwDecoder::decode(const std::string& new_path, int scale) {
    path = new_path;
    error.clear();
    RawDecodeResult result;
    if (!decode_raw(new_path, scale, result, error)) return false;
    commit(std::move(result));
    return true;
}

void ArwDecoder::commit(RawDecodeResult&& r) noexcept {
    image = std::move(r.image);
    width = image.width();
    height = image.height();
    iso_speed = r.iso_speed;
    shutter = r.shutter;
    aperture = r.aperture;
    focal_length = r.focal_length;
    std::memcpy(make, r.make, sizeof make);
    std::memcpy(model, r.model, sizeof model);
    flip = r.flip;
}

}  // namespace vornalix
