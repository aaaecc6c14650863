// Arbitrary bytes as the embedded profile of a small picture whose pixels are
// RGB, or CMYK as well (chosen by the size): the picture always comes out in
// sRGB at its own size, converted or as decoded.

#include "codec/image_read.h"
#include "color/input_profile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vornalix::codec::DecodedImage image;
    image.rgb.create(4, 16, CV_8UC3);
    for (std::size_t i = 0; i < image.rgb.total() * 3; ++i) image.rgb.data[i] = static_cast<unsigned char>(i * 37);
    if (size % 2 == 1) {
        image.cmyk.create(image.rgb.size(), CV_8UC4);
        for (std::size_t i = 0; i < image.cmyk.total() * 4; ++i) image.cmyk.data[i] = static_cast<unsigned char>(i * 53);
        image.cmyk_inverted = size % 4 == 1;
    }
    image.icc.assign(data, data + size);
    const cv::Mat srgb = vornalix::color_mgmt::to_srgb(image);
    if (srgb.size() != image.rgb.size() || srgb.channels() != 3 || (srgb.depth() != CV_8U && srgb.depth() != CV_16U))
        std::abort();
    return 0;
}
