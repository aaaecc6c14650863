// WebP through libwebp: the pixels decoded straight to R, G, B (alpha
// dropped, as OpenCV's colour read did) and the ICCP and EXIF chunks taken
// from the container through the demuxer.

#include "codec/image_read.h"

#include "core/failure.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <memory>

namespace vornalix::codec {

namespace {

Bytes chunk(const WebPDemuxer* demux, const char* fourcc) {
    WebPChunkIterator it{};
    Bytes out;
    if (WebPDemuxGetChunk(demux, fourcc, 1, &it)) out.assign(it.chunk.bytes, it.chunk.bytes + it.chunk.size);
    WebPDemuxReleaseChunkIterator(&it);
    return out;
}

}  // namespace

DecodedImage read_webp(const unsigned char* data, std::size_t size) {
    WebPBitstreamFeatures features{};
    if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK) fail("corrupt WebP data");
    require_decodable_size(features.width, features.height);
    DecodedImage out;
    out.rgb.create(features.height, features.width, CV_8UC3);
    if (!WebPDecodeRGBInto(data, size, out.rgb.data, out.rgb.total() * out.rgb.elemSize(),
                           static_cast<int>(out.rgb.step)))
        fail("corrupt WebP data");

    const WebPData whole{data, size};
    std::unique_ptr<WebPDemuxer, decltype(&WebPDemuxDelete)> demux(WebPDemux(&whole), &WebPDemuxDelete);
    if (!demux) return out;
    out.icc = chunk(demux.get(), "ICCP");
    const Bytes exif = chunk(demux.get(), "EXIF");
    out.exif = exif_block(exif.data(), exif.size());
    return out;
}

}  // namespace vornalix::codec
