#pragma once
// Shared body of the reader targets: arbitrary bytes handed to the reader of
// one format. Inputs of other formats, or whose header claims more than a
// few megapixels, are skipped (large frames only slow the search). The
// picture must be no larger than its header said, since the loader's size
// bound trusts the header, and must convert to sRGB at its own size.

#include "codec/image_read.h"
#include "color/input_profile.h"
#include "core/failure.h"
#include "image/image_probe.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace fuzzing {

constexpr std::int64_t kMaxFuzzedPixels = 4'000'000;

inline void read_as(vornalix::ImageFormat format, const std::uint8_t* data, std::size_t size) {
    const vornalix::ImageHeader h = vornalix::probe_image_header(data, size);
    if (h.format != format || h.width <= 0 || h.height <= 0 || h.width > kMaxFuzzedPixels / h.height) return;
    try {
        const vornalix::codec::DecodedImage image = vornalix::codec::decode_image({data, data + size}, "input");
        if (image.rgb.type() != CV_8UC3 || static_cast<std::int64_t>(image.rgb.total()) > h.width * h.height)
            std::abort();
        const cv::Mat srgb = vornalix::color_mgmt::to_srgb(image);
        if (srgb.size() != image.rgb.size() || srgb.channels() != 3) std::abort();
    } catch (const vornalix::Failure&) {
        // a refusal is an answer
    }
}

}  // namespace fuzzing
