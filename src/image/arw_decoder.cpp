#include "image/arw_decoder.h"

#include "core/failure.h"
#include "image/image_probe.h"
#include "image/libraw_processor.h"
#include "image/size_bound.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace vornalix {

namespace {

// The lens as EXIF names it, else as the maker's notes do.
void copy_lens_name(char (&dst)[128], const libraw_lensinfo_t& lens) {
    const char* name = lens.Lens[0] ? lens.Lens : lens.makernotes.Lens;
    std::memset(dst, 0, sizeof dst);
    std::memcpy(dst, name, strnlen(name, sizeof dst - 1));
}

}  // namespace

RawDecodeResult decode_raw(const std::string& path, int scale, int max_side) {
    scale = std::clamp(scale, 1, 4);
    LibRawPtr raw = make_libraw_processor();

    int code = raw->open_file(path.c_str());
    if (code != LIBRAW_SUCCESS) fail(libraw_message("LibRaw open_file failed: ", code));
    // Refuse before unpack, which allocates for the raw frame it claims.
    if (!frame_within_bound(*raw)) {
        const libraw_image_sizes_t& s = raw->imgdata.sizes;
        ImageHeader claimed;
        claimed.width = std::max<int>(s.raw_width, s.width);
        claimed.height = std::max<int>(s.raw_height, s.height);
        fail("RAW frame too large: " + too_large_text(claimed));
    }
    set_srgb16_output(*raw, scale > 1);

    if ((code = raw->unpack()) != LIBRAW_SUCCESS) fail(libraw_message("LibRaw unpack failed: ", code));
    if ((code = raw->dcraw_process()) != LIBRAW_SUCCESS) fail(libraw_message("LibRaw dcraw_process failed: ", code));
    // Upright colour images are converted where LibRaw left them; any other
    // is copied out by LibRaw itself.
    cv::Mat developed = develop_in_place(*raw);
    const bool in_place = !developed.empty();
    if (!in_place) developed = copy_developed_image(*raw);
    const uchar* full_size = developed.data;
    if (scale == 4) developed = halve(developed);
    const cv::Size unbounded = developed.size();
    developed = bound_long_side(developed, max_side);
    // Unreduced, the image converted in place is still the processor's memory.
    if (in_place && developed.data == full_size) developed = developed.clone();

    RawDecodeResult r;
    const libraw_data_t& d = raw->imgdata;
    r.iso_speed = d.other.iso_speed;
    r.shutter = d.other.shutter;
    r.aperture = d.other.aperture;
    r.focal_length = d.other.focal_len;
    copy_camera_name(r.make, d.idata.make);
    copy_camera_name(r.model, d.idata.model);
    r.flip = d.sizes.flip;
    copy_lens_name(r.lens, d.lens);
    r.lens_profile = lens::Profile({r.make, r.model, r.lens, r.focal_length, r.aperture});
    r.full_size = unbounded;
    raw.reset();

    if (in_place)
        r.image.mat = developed;  // R, G, B, A already
    else
        r.image = ImageBuffer(developed);
    return r;
}

RawDecodeResult ArwDecoder::decode(const std::string& new_path, int scale, int max_side) {
    path = new_path;
    error.clear();
    try {
        return decode_raw(new_path, scale, max_side);
    } catch (const Failure& failure) {
        error = failure.what();
        throw;
    }
}

void copy_camera_name(char (&dst)[64], const char (&src)[64]) {
    std::memset(dst, 0, sizeof dst);
    std::memcpy(dst, src, strnlen(src, sizeof dst - 1));
}

void ArwDecoder::commit(RawDecodeResult&& r) noexcept {
    static_cast<RawDecodeResult&>(*this) = std::move(r);
    width = image.width();
    height = image.height();
}

}  // namespace vornalix
