// WebP through libwebp, lossless as OpenCV's writer made it by default, with
// the profile and the EXIF block as ICCP and EXIF chunks through libwebpmux.

#include "codec/image_write.h"

#include <memory>

#include <webp/encode.h>
#include <webp/mux.h>

namespace vornalix::codec {

namespace {

struct MuxDeleter {
    void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};

struct EncodedBytes {
    uint8_t* data = nullptr;
    ~EncodedBytes() { WebPFree(data); }
};

WebPData view_of(const Bytes& bytes) { return WebPData{bytes.data(), bytes.size()}; }

size_t encode_pixels(const cv::Mat& pixels, uint8_t** out) {
    const int stride = static_cast<int>(pixels.step[0]);
    return pixels.channels() == 4 ? WebPEncodeLosslessRGBA(pixels.data, pixels.cols, pixels.rows, stride, out)
                                  : WebPEncodeLosslessRGB(pixels.data, pixels.cols, pixels.rows, stride, out);
}

bool add_chunk(WebPMux* mux, const char* fourcc, const Bytes& bytes) {
    if (bytes.empty()) return true;
    const WebPData data = view_of(bytes);
    return WebPMuxSetChunk(mux, fourcc, &data, 1) == WEBP_MUX_OK;
}

}  // namespace

bool encode_webp(const EncodeRequest& request, Bytes& out) {
    const cv::Mat& pixels = request.pixels;
    if (pixels.depth() != CV_8U || (pixels.channels() != 3 && pixels.channels() != 4)) return false;
    if (pixels.cols > WEBP_MAX_DIMENSION || pixels.rows > WEBP_MAX_DIMENSION) return false;
    EncodedBytes encoded;
    const size_t size = encode_pixels(pixels, &encoded.data);
    if (size == 0 || !encoded.data) return false;

    std::unique_ptr<WebPMux, MuxDeleter> mux(WebPMuxNew());
    const WebPData bitstream{encoded.data, size};
    if (!mux || WebPMuxSetImage(mux.get(), &bitstream, 1) != WEBP_MUX_OK) return false;
    if (!add_chunk(mux.get(), "ICCP", request.icc) || !add_chunk(mux.get(), "EXIF", tiff_part_of_exif(request.exif)))
        return false;
    WebPData assembled{};
    const bool ok = WebPMuxAssemble(mux.get(), &assembled) == WEBP_MUX_OK;
    if (ok) out.assign(assembled.bytes, assembled.bytes + assembled.size);
    WebPDataClear(&assembled);
    return ok;
}

}  // namespace vornalix::codec
