// PNG through libpng, set up as OpenCV's colour read was: 16-bit samples cut
// to their high byte, alpha dropped, palettes and grey expanded to R, G, B.
// libpng reports errors by longjmp, so the decode frame owns no C++ objects
// created after the jump point.

#include "codec/image_read.h"

#include "codec/memory_stream.h"
#include "core/failure.h"

#include <png.h>

#include <vector>

namespace vornalix::codec {

namespace {

void read_from_memory(png_structp png, png_bytep out, png_size_t n) {
    if (static_cast<MemoryStream*>(png_get_io_ptr(png))->read(out, n) != n) png_error(png, "unexpected end of data");
}

void keep_quiet(png_structp, png_const_charp) {}
[[noreturn]] void stop_quietly(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void set_up_colour_read(png_structp png, png_infop info) {
    const int colour = png_get_color_type(png, info);
    if (png_get_bit_depth(png, info) == 16) png_set_strip_16(png);
    png_set_strip_alpha(png);
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if ((colour & PNG_COLOR_MASK_COLOR) == 0) {
        if (png_get_bit_depth(png, info) < 8) png_set_expand_gray_1_2_4_to_8(png);
        png_set_gray_to_rgb(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
}

void keep_chunks(png_structp png, png_infop info, DecodedImage& out) {
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profile_size = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &profile_size) && profile)
        out.icc.assign(profile, profile + profile_size);
    png_bytep exif = nullptr;
    png_uint_32 exif_size = 0;
    if (png_get_eXIf_1(png, info, &exif_size, &exif) && exif) out.exif = exif_block(exif, exif_size);
}

bool decode(png_structp png, png_infop info, MemoryStream& in, std::vector<png_bytep>& rows, DecodedImage& out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, &in, read_from_memory);
    png_read_info(png, info);
    set_up_colour_read(png, info);
    require_decodable_size(png_get_image_width(png, info), png_get_image_height(png, info));
    out.rgb.create(static_cast<int>(png_get_image_height(png, info)),
                   static_cast<int>(png_get_image_width(png, info)), CV_8UC3);
    rows.resize(static_cast<std::size_t>(out.rgb.rows));
    for (int y = 0; y < out.rgb.rows; ++y) rows[static_cast<std::size_t>(y)] = out.rgb.ptr(y);
    png_read_image(png, rows.data());
    png_read_end(png, info);  // an eXIf chunk may follow the pixels
    keep_chunks(png, info, out);
    return true;
}

}  // namespace

DecodedImage read_png(const unsigned char* data, std::size_t size) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, stop_quietly, keep_quiet);
    if (!png) fail("out of memory");
    png_infop info = png_create_info_struct(png);
    DecodedImage out;
    MemoryStream in{data, size};
    std::vector<png_bytep> rows;
    bool ok = false;
    try {
        ok = info && decode(png, info, in, rows, out);
    } catch (...) {  // the pixel buffer's allocation
        png_destroy_read_struct(&png, &info, nullptr);
        throw;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (!ok) fail("corrupt PNG data");
    return out;
}

}  // namespace vornalix::codec
