// JPEG through libjpeg-turbo with the settings OpenCV's writer used (the
// library defaults: 4:2:0, baseline tables, no optimisation, integer DCT),
// so a file decodes to the same pixels it gave.

#include "codec/image_write.h"

#include <cstdio>
#include <csetjmp>
#include <cstdlib>

#include <jpeglib.h>

namespace vornalix::codec {

namespace {

constexpr int kApp1 = JPEG_APP0 + 1;
// The length field (16 bits) counts its own two bytes.
constexpr size_t kMaxSegmentPayload = 0xFFFF - 2;

struct ErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

[[noreturn]] void jump_on_error(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<ErrorJump*>(cinfo->err)->jump, 1);
}

// Warnings are not printed: the library never writes to the terminal.
void stay_quiet(j_common_ptr) {}

// Owns the compressor and the memory destination; released on every path.
struct Compressor {
    jpeg_compress_struct cinfo{};
    ErrorJump error{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    ~Compressor() {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
    }
};

J_COLOR_SPACE input_space(int channels) {
    return channels == 1 ? JCS_GRAYSCALE : channels == 4 ? JCS_EXT_RGBX : JCS_RGB;
}

// Runs between setjmp and the end of the compression: no C++ object with a
// destructor may live here, longjmp would skip it.
bool compress(Compressor& c, const EncodeRequest& request) {
    const cv::Mat& pixels = request.pixels;
    jpeg_compress_struct& cinfo = c.cinfo;
    cinfo.err = jpeg_std_error(&c.error.manager);
    c.error.manager.error_exit = jump_on_error;
    c.error.manager.output_message = stay_quiet;
    if (setjmp(c.error.jump)) return false;

    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &c.buffer, &c.size);
    cinfo.image_width = static_cast<JDIMENSION>(pixels.cols);
    cinfo.image_height = static_cast<JDIMENSION>(pixels.rows);
    cinfo.input_components = pixels.channels();
    cinfo.in_color_space = input_space(pixels.channels());
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, request.quality, TRUE);
    // The EXIF segment must come first after the start of image.
    const bool exif = !request.exif.empty() && request.exif.size() <= kMaxSegmentPayload;
    if (exif) cinfo.write_JFIF_header = FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    if (exif)
        jpeg_write_marker(&cinfo, kApp1, request.exif.data(), static_cast<unsigned int>(request.exif.size()));
    if (!request.icc.empty())
        jpeg_write_icc_profile(&cinfo, request.icc.data(), static_cast<unsigned int>(request.icc.size()));
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels.ptr<unsigned char>(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    return true;
}

}  // namespace

bool encode_jpeg(const EncodeRequest& request, Bytes& out) {
    const cv::Mat& pixels = request.pixels;
    const int channels = pixels.channels();
    if (pixels.depth() != CV_8U || (channels != 1 && channels != 3 && channels != 4)) return false;
    Compressor c;
    if (!compress(c, request) || !c.buffer || c.size == 0) return false;
    out.assign(c.buffer, c.buffer + c.size);
    return true;
}

}  // namespace vornalix::codec
