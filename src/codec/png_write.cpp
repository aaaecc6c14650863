// PNG through libpng: the profile as iCCP, the EXIF block as eXIf.

#include "codec/image_write.h"

#include <csetjmp>

#include <png.h>
#include <zlib.h>

namespace vornalix::codec {

namespace {

constexpr char kProfileName[] = "ICC profile";

struct Writer {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~Writer() { png_destroy_write_struct(&png, &info); }
};

void append(png_structp png, png_bytep data, png_size_t size) {
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

void no_flush(png_structp) {}

// Failures are reported through the result, never printed.
[[noreturn]] void jump_on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void ignore_warning(png_structp, png_const_charp) {}

bool little_endian() {
    const unsigned short probe = 1;
    return *reinterpret_cast<const unsigned char*>(&probe) == 1;
}

int colour_type(int channels) {
    switch (channels) {
        case 1: return PNG_COLOR_TYPE_GRAY;
        case 4: return PNG_COLOR_TYPE_RGB_ALPHA;
        default: return PNG_COLOR_TYPE_RGB;
    }
}

void set_compression(png_structp png, int level) {
    if (level >= 0) {
        png_set_compression_level(png, level);
        return;
    }
    // Fast: fine for photographs, several times quicker than the default.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_level(png, Z_BEST_SPEED);
    png_set_compression_strategy(png, Z_RLE);
}

// No object with a destructor may be created here: libpng leaves by longjmp.
bool write(Writer& w, const EncodeRequest& request, const Bytes& exif, Bytes& out) {
    const cv::Mat& pixels = request.pixels;
    if (setjmp(png_jmpbuf(w.png))) return false;
    png_set_write_fn(w.png, &out, append, no_flush);
    set_compression(w.png, request.png_compression);
    const int depth = pixels.depth() == CV_16U ? 16 : 8;
    png_set_IHDR(w.png, w.info, static_cast<png_uint_32>(pixels.cols), static_cast<png_uint_32>(pixels.rows),
                 depth, colour_type(pixels.channels()), PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!request.icc.empty())
        png_set_iCCP(w.png, w.info, kProfileName, PNG_COMPRESSION_TYPE_BASE, request.icc.data(),
                     static_cast<png_uint_32>(request.icc.size()));
    if (!exif.empty())
        png_set_eXIf_1(w.png, w.info, static_cast<png_uint_32>(exif.size()), const_cast<png_bytep>(exif.data()));
    png_write_info(w.png, w.info);
    if (depth == 16 && little_endian()) png_set_swap(w.png);  // the file is big-endian
    for (int y = 0; y < pixels.rows; ++y) png_write_row(w.png, pixels.ptr(y));
    png_write_end(w.png, w.info);
    return true;
}

}  // namespace

bool encode_png(const EncodeRequest& request, Bytes& out) {
    const int depth = request.pixels.depth();
    if (depth != CV_8U && depth != CV_16U) return false;
    Writer w;
    w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, jump_on_error, ignore_warning);
    if (!w.png) return false;
    w.info = png_create_info_struct(w.png);
    if (!w.info) return false;
    const Bytes exif = tiff_part_of_exif(request.exif);
    const bool ok = write(w, request, exif, out);
    if (!ok) out.clear();
    return ok;
}

}  // namespace vornalix::codec
