// BMP of our own: bottom-up B, G, R (and A) rows padded to four bytes, with
// a version 5 header that carries the profile after the pixels.

#include "codec/image_write.h"

#include "codec/bmp_format.h"

#include <cstdint>

namespace vornalix::codec {

namespace {

using bmp::kFileHeaderSize;
constexpr size_t kInfoHeaderSize = bmp::kV5HeaderSize;
constexpr uint32_t kUncompressed = 0;
constexpr uint32_t kSrgbSpace = 0x73524742;        // "sRGB"
constexpr uint32_t kPerceptualIntent = 4;
constexpr size_t kMaxFileSize = 0xFFFFFFFFu;

void put16(Bytes& out, uint16_t v) { out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void put32(Bytes& out, uint32_t v) {
    out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
}
void put_zeros(Bytes& out, size_t n) { out.insert(out.end(), n, 0); }

void put_headers(Bytes& out, const cv::Mat& pixels, size_t pixel_bytes, const Bytes& icc) {
    const size_t pixel_offset = kFileHeaderSize + kInfoHeaderSize;
    const size_t file_size = pixel_offset + pixel_bytes + icc.size();
    out.push_back('B');
    out.push_back('M');
    put32(out, static_cast<uint32_t>(file_size));
    put32(out, 0);
    put32(out, static_cast<uint32_t>(pixel_offset));

    put32(out, kInfoHeaderSize);
    put32(out, static_cast<uint32_t>(pixels.cols));
    put32(out, static_cast<uint32_t>(pixels.rows));  // positive: bottom-up
    put16(out, 1);
    put16(out, static_cast<uint16_t>(8 * pixels.channels()));
    put32(out, kUncompressed);
    put32(out, static_cast<uint32_t>(pixel_bytes));
    put_zeros(out, 16);  // resolution and palette counts
    put_zeros(out, 16);  // channel masks: unused without bit fields
    put32(out, icc.empty() ? kSrgbSpace : bmp::kEmbeddedProfile);
    put_zeros(out, 36 + 12);  // end points and gammas: unused
    put32(out, kPerceptualIntent);
    put32(out, icc.empty() ? 0 : static_cast<uint32_t>(kInfoHeaderSize + pixel_bytes));
    put32(out, static_cast<uint32_t>(icc.size()));
    put32(out, 0);
}

}  // namespace

bool encode_bmp(const EncodeRequest& request, Bytes& out) {
    const cv::Mat& pixels = request.pixels;
    const int channels = pixels.channels();
    if (pixels.depth() != CV_8U || (channels != 3 && channels != 4)) return false;
    const size_t row_bytes = (static_cast<size_t>(pixels.cols) * channels + 3) & ~size_t{3};
    const size_t pixel_bytes = row_bytes * pixels.rows;
    if (kFileHeaderSize + kInfoHeaderSize + pixel_bytes + request.icc.size() > kMaxFileSize) return false;

    out.clear();
    out.reserve(kFileHeaderSize + kInfoHeaderSize + pixel_bytes + request.icc.size());
    put_headers(out, pixels, pixel_bytes, request.icc);
    for (int y = pixels.rows - 1; y >= 0; --y) {
        const uint8_t* p = pixels.ptr<uint8_t>(y);
        const size_t start = out.size();
        for (int x = 0; x < pixels.cols; ++x, p += channels) {
            out.insert(out.end(), {p[2], p[1], p[0]});
            if (channels == 4) out.push_back(p[3]);
        }
        put_zeros(out, row_bytes - (out.size() - start));
    }
    out.insert(out.end(), request.icc.begin(), request.icc.end());
    return true;
}

}  // namespace vornalix::codec
