// BMP by our own reader: the Windows (versions 3 to 5) and OS/2 core headers;
// 1, 4 and 8-bit palettes, plain or run-length coded (RLE8, RLE4); 16 and
// 32-bit pixels, plain or with bit fields; 24-bit pixels. Every read is
// checked against the data, so a cut or crafted file is refused, not overrun.
// A version 5 header's embedded ICC profile is returned with the pixels; a
// linked one names a file elsewhere and is not followed.

#include "codec/image_read.h"

#include "codec/bmp_format.h"
#include "core/failure.h"

#include <array>
#include <cstdint>

namespace vornalix::codec {

namespace {

constexpr std::uint32_t kPlain = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3;
constexpr std::size_t kInfoAt = bmp::kFileHeaderSize;
constexpr std::uint32_t kCoreHeader = 12;  // OS/2 1.x: 16-bit sizes, 3-byte palette entries
constexpr std::uint32_t kInfoHeader = 40;
constexpr std::size_t kMasksAt = 54;  // bit fields, inside a V4/V5 header or right after a V3 one
constexpr int kPaletteSize = 256;

struct Data {
    const unsigned char* bytes;
    std::size_t size;

    void need(std::size_t at, std::size_t n) const {
        if (at > size || n > size - at) fail("cut BMP data");
    }
    std::uint32_t le(std::size_t at, int n) const {
        need(at, static_cast<std::size_t>(n));
        std::uint32_t v = 0;
        for (int i = n - 1; i >= 0; --i) v = (v << 8) | bytes[at + static_cast<std::size_t>(i)];
        return v;
    }
};

using Palette = std::array<cv::Vec3b, kPaletteSize>;  // R, G, B; unlisted entries black

struct Layout {
    int width = 0;
    int height = 0;
    bool top_down = false;
    int bits = 0;
    std::uint32_t compression = kPlain;
    std::size_t pixels_at = 0;
    std::array<std::uint32_t, 3> masks{};  // R, G, B
    Palette palette{};
};

Layout read_layout(const Data& d) {
    Layout l;
    l.pixels_at = d.le(10, 4);
    const std::uint32_t header = d.le(kInfoAt, 4);
    std::size_t palette_at = kInfoAt + header;
    std::size_t entry = 4;
    std::uint32_t colours = 0;
    if (header == kCoreHeader) {
        l.width = static_cast<int>(d.le(18, 2));
        l.height = static_cast<int>(d.le(20, 2));
        l.bits = static_cast<int>(d.le(24, 2));
        entry = 3;
    } else if (header >= kInfoHeader) {
        const auto width = static_cast<std::int32_t>(d.le(18, 4));
        const auto height = static_cast<std::int32_t>(d.le(22, 4));
        if (width <= 0 || height == 0 || height == INT32_MIN) fail("bad BMP size");
        l.width = width;
        l.top_down = height < 0;
        l.height = l.top_down ? -height : height;
        l.bits = static_cast<int>(d.le(28, 2));
        l.compression = d.le(30, 4);
        colours = d.le(46, 4);
        if (l.compression == kBitFields) {
            for (std::size_t i = 0; i < 3; ++i) l.masks[i] = d.le(kMasksAt + 4 * i, 4);
            if (header == kInfoHeader) palette_at += 12;
        }
    } else {
        fail("unknown BMP header");
    }
    const bool known = l.compression == kPlain ? (l.bits == 1 || l.bits == 4 || l.bits == 8 || l.bits == 16 ||
                                                  l.bits == 24 || l.bits == 32)
                       : l.compression == kRle8     ? l.bits == 8
                       : l.compression == kRle4     ? l.bits == 4
                       : l.compression == kBitFields ? (l.bits == 16 || l.bits == 32)
                                                     : false;
    if (!known || l.width <= 0 || l.height <= 0 || (l.top_down && (l.compression == kRle8 || l.compression == kRle4)))
        fail("unsupported BMP layout");
    if (l.bits <= 8) {
        const std::size_t count = colours == 0 || colours > kPaletteSize ? (std::size_t{1} << l.bits) : colours;
        for (std::size_t i = 0; i < count && palette_at + entry * (i + 1) <= d.size; ++i) {
            const unsigned char* p = d.bytes + palette_at + entry * i;
            l.palette[i] = {p[2], p[1], p[0]};
        }
    }
    if (l.compression != kBitFields && l.bits == 16) l.masks = {0x7C00, 0x03E0, 0x001F};  // 5-5-5
    if (l.compression != kBitFields && l.bits == 32) l.masks = {0xFF0000, 0x00FF00, 0x0000FF};
    return l;
}

// A mask's bits as 8 bits, its top bit moved to bit 7 (the low bits of a
// narrow field stay zero).
unsigned char field(std::uint32_t value, std::uint32_t mask) {
    if (mask == 0) return 0;
    int top = 31;
    while (!(mask >> top & 1u)) --top;
    const std::uint32_t bits = value & mask;
    return static_cast<unsigned char>(top >= 7 ? bits >> (top - 7) : bits << (7 - top));
}

void read_plain(const Data& d, const Layout& l, cv::Mat& rgb) {
    const std::uint64_t stride = (static_cast<std::uint64_t>(l.width) * static_cast<std::uint64_t>(l.bits) + 31) / 32 * 4;
    if (stride * static_cast<std::uint64_t>(l.height) > d.size) fail("cut BMP data");
    d.need(l.pixels_at, static_cast<std::size_t>(stride) * static_cast<std::size_t>(l.height));
    for (int y = 0; y < l.height; ++y) {
        const unsigned char* row = d.bytes + l.pixels_at + static_cast<std::size_t>(stride) * static_cast<std::size_t>(y);
        auto* out = rgb.ptr<cv::Vec3b>(l.top_down ? y : l.height - 1 - y);
        for (int x = 0; x < l.width; ++x) {
            if (l.bits <= 8) {
                const int bit = x * l.bits;
                const int index = row[bit / 8] >> (8 - l.bits - bit % 8) & ((1 << l.bits) - 1);
                out[x] = l.palette[static_cast<std::size_t>(index)];
            } else if (l.bits == 24) {
                const unsigned char* p = row + 3 * x;
                out[x] = {p[2], p[1], p[0]};
            } else {
                const int n = l.bits / 8;
                std::uint32_t v = 0;
                for (int i = n - 1; i >= 0; --i) v = (v << 8) | row[n * x + i];
                out[x] = {field(v, l.masks[0]), field(v, l.masks[1]), field(v, l.masks[2])};
            }
        }
    }
}

// Run-length coded palette indices, bottom row first. Pixels the code skips
// (by a delta or an early end of line or image) keep the first palette colour.
void read_run_lengths(const Data& d, const Layout& l, cv::Mat& rgb) {
    rgb.setTo(cv::Scalar(l.palette[0][0], l.palette[0][1], l.palette[0][2]));
    const bool nibbles = l.compression == kRle4;
    std::size_t pos = l.pixels_at;
    int x = 0, y = 0;
    const auto put = [&](int index) {
        if (x < l.width && y < l.height) rgb.at<cv::Vec3b>(l.height - 1 - y, x) = l.palette[static_cast<std::size_t>(index)];
        ++x;
    };
    while (y < l.height) {
        d.need(pos, 2);
        const int count = d.bytes[pos], code = d.bytes[pos + 1];
        pos += 2;
        if (count > 0) {  // a run of one index, or of two alternating nibbles
            for (int i = 0; i < count; ++i) put(nibbles ? (i % 2 == 0 ? code >> 4 : code & 15) : code);
        } else if (code == 0) {  // end of line
            x = 0;
            ++y;
        } else if (code == 1) {  // end of image
            break;
        } else if (code == 2) {  // move right and up
            d.need(pos, 2);
            x += d.bytes[pos];
            y += d.bytes[pos + 1];
            pos += 2;
        } else {  // `code` literal indices, padded to a 16-bit boundary
            const std::size_t bytes = nibbles ? (static_cast<std::size_t>(code) + 1) / 2 : static_cast<std::size_t>(code);
            d.need(pos, bytes);
            for (int i = 0; i < code; ++i) {
                const unsigned char b = d.bytes[pos + static_cast<std::size_t>(nibbles ? i / 2 : i)];
                put(nibbles ? (i % 2 == 0 ? b >> 4 : b & 15) : b);
            }
            pos += bytes + (bytes & 1);
        }
    }
}

// The embedded profile, or empty when there is none or it lies outside the data.
Bytes embedded_profile(const Data& d) {
    if (d.le(kInfoAt, 4) < bmp::kV5HeaderSize || d.le(kInfoAt + bmp::kColourSpaceAt, 4) != bmp::kEmbeddedProfile)
        return {};
    const std::uint64_t at = kInfoAt + std::uint64_t{d.le(kInfoAt + bmp::kProfileAt, 4)};
    const std::uint32_t size = d.le(kInfoAt + bmp::kProfileAt + 4, 4);
    if (at > d.size || size > d.size - at) return {};
    return Bytes(d.bytes + at, d.bytes + at + size);
}

}  // namespace

DecodedImage read_bmp(const unsigned char* data, std::size_t size) {
    const Data d{data, size};
    const Layout layout = read_layout(d);
    DecodedImage out;
    out.rgb.create(layout.height, layout.width, CV_8UC3);
    if (layout.compression == kRle8 || layout.compression == kRle4)
        read_run_lengths(d, layout, out.rgb);
    else
        read_plain(d, layout, out.rgb);
    out.icc = embedded_profile(d);
    return out;
}

}  // namespace vornalix::codec
