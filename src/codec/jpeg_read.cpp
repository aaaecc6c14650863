// JPEG through libjpeg-turbo. Its errors arrive through a callback that must
// not return, so the decode runs under setjmp in a frame that owns no C++
// objects created after the jump point.

#include "codec/image_read.h"

#include "core/failure.h"

#include <cstdio>  // jpeglib.h needs FILE
#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <jpeglib.h>

namespace vornalix::codec {

namespace {

constexpr unsigned int kMaxMarkerLength = 0xFFFF;

// Everything the decode touches after its jump point lives here, outside
// the jumping frame. `manager` comes first: libjpeg hands it back as the
// address of the whole.
struct JpegState {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    jpeg_source_mgr source;
    cv::Mat row;            // one decoded row, kept across calls
    bool complete = false;  // every row delivered; a later error is ignored
};

[[noreturn]] void jump_on_error(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegState*>(info->err)->jump, 1);
}

// The data is all in memory: its end suspends the decoder instead of faking
// an end of image, so the missing rows of a cut file repeat the last row
// decoded, as OpenCV's read gave them.
void no_op(j_decompress_ptr) {}
boolean suspend(j_decompress_ptr) { return FALSE; }
void skip_bytes(j_decompress_ptr info, long n) {
    jpeg_source_mgr& s = *info->src;
    const std::size_t count = n <= 0 ? 0 : std::min(static_cast<std::size_t>(n), s.bytes_in_buffer);
    s.next_input_byte += count;
    s.bytes_in_buffer -= count;
}

void use_memory(jpeg_decompress_struct& info, jpeg_source_mgr& source, const unsigned char* data, std::size_t size) {
    source.next_input_byte = data;
    source.bytes_in_buffer = size;
    source.init_source = no_op;
    source.fill_input_buffer = suspend;
    source.skip_input_data = skip_bytes;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = no_op;
    info.src = &source;
}

// Warnings (corrupt data) leave libjpeg decoding on, as OpenCV's read did;
// nothing is printed.
void keep_quiet(j_common_ptr, int) {}

// OpenCV's CMYK to RGB: each ink darkens by the black channel.
void cmyk_to_rgb(const cv::Mat& cmyk, cv::Mat& rgb) {
    rgb.create(cmyk.size(), CV_8UC3);
    for (int y = 0; y < cmyk.rows; ++y) {
        const unsigned char* in = cmyk.ptr(y);
        unsigned char* out = rgb.ptr(y);
        for (int x = 0; x < cmyk.cols; ++x, in += 4, out += 3) {
            const int k = in[3];
            for (int c = 0; c < 3; ++c) out[c] = static_cast<unsigned char>(k - ((255 - in[c]) * k >> 8));
        }
    }
}

void keep_markers(jpeg_decompress_struct& info, DecodedImage& out) {
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next) {
        if (m->marker == JPEG_APP0 + 1 && out.exif.empty() && has_exif_header(m->data, m->data_length))
            out.exif.assign(m->data, m->data + m->data_length);
    }
    JOCTET* icc = nullptr;
    unsigned int icc_size = 0;
    if (jpeg_read_icc_profile(&info, &icc, &icc_size) && icc) out.icc.assign(icc, icc + icc_size);
    std::free(icc);
}

bool decode(jpeg_decompress_struct& info, JpegState& state, const unsigned char* data, std::size_t size,
            DecodedImage& out) {
    if (setjmp(state.jump)) return state.complete;
    jpeg_create_decompress(&info);
    use_memory(info, state.source, data, size);
    jpeg_save_markers(&info, JPEG_APP0 + 1, kMaxMarkerLength);
    jpeg_save_markers(&info, JPEG_APP0 + 2, kMaxMarkerLength);
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) return false;
    const bool cmyk = info.num_components == 4;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGB;
    jpeg_start_decompress(&info);
    require_decodable_size(info.output_width, info.output_height);
    cv::Mat& pixels = cmyk ? out.cmyk : out.rgb;
    const int type = cmyk ? CV_8UC4 : CV_8UC3;
    pixels.create(static_cast<int>(info.output_height), static_cast<int>(info.output_width), type);
    state.row = cv::Mat::zeros(1, pixels.cols, type);
    JSAMPROW row = state.row.ptr();
    for (int y = 0; y < pixels.rows; ++y) {
        jpeg_read_scanlines(&info, &row, 1);  // a suspended read leaves the last row in place
        state.row.copyTo(pixels.row(y));
    }
    keep_markers(info, out);
    out.cmyk_inverted = cmyk && info.saw_Adobe_marker;
    state.complete = true;
    jpeg_finish_decompress(&info);
    return true;
}

}  // namespace

DecodedImage read_jpeg(const unsigned char* data, std::size_t size) {
    DecodedImage out;
    jpeg_decompress_struct info{};
    JpegState state{};
    info.err = jpeg_std_error(&state.manager);
    state.manager.error_exit = jump_on_error;
    state.manager.emit_message = keep_quiet;
    bool ok = false;
    try {
        ok = decode(info, state, data, size, out);
    } catch (...) {  // the pixel buffer's allocation
        jpeg_destroy_decompress(&info);
        throw;
    }
    jpeg_destroy_decompress(&info);
    if (!ok) fail("corrupt JPEG data");
    if (!out.cmyk.empty()) cmyk_to_rgb(out.cmyk, out.rgb);
    return out;
}

}  // namespace vornalix::codec
