#include "image/image_probe.h"

#include "metadata/jpeg_segments.h"

#include <cstring>

namespace vornalix {

namespace {

// Bounds-checked little- and big-endian reads over the probed bytes.
struct Bytes {
    const unsigned char* data;
    std::size_t size;

    bool has(std::size_t offset, std::size_t n) const { return offset <= size && n <= size - offset; }
    std::uint64_t read(std::size_t offset, int n, bool big_endian) const {
        std::uint64_t v = 0;
        for (int i = 0; i < n; ++i) {
            const int shift = 8 * (big_endian ? n - 1 - i : i);
            v |= static_cast<std::uint64_t>(data[offset + i]) << shift;
        }
        return v;
    }
    bool starts_with(const char* magic, std::size_t n, std::size_t offset = 0) const {
        return has(offset, n) && std::memcmp(data + offset, magic, n) == 0;
    }
};

void probe_jpeg(const Bytes& b, ImageHeader& h) {
    metadata::walk_jpeg_segments(b.data, b.size, [&](const metadata::JpegSegment& s) {
        const unsigned m = s.marker;
        const bool frame = m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
        if (!frame) return true;
        if (s.end - s.payload >= 5) {  // precision, height, width
            h.height = static_cast<std::int64_t>(b.read(s.payload + 1, 2, true));
            h.width = static_cast<std::int64_t>(b.read(s.payload + 3, 2, true));
        }
        return false;
    });
}

void probe_png(const Bytes& b, ImageHeader& h) {
    if (!b.starts_with("IHDR", 4, 12) || !b.has(16, 8)) return;
    h.width = static_cast<std::int64_t>(b.read(16, 4, true));
    h.height = static_cast<std::int64_t>(b.read(20, 4, true));
}

// The first directory's ImageWidth (256) and ImageLength (257), classic or
// BigTIFF layout; the reader decodes that first directory.
void probe_tiff(const Bytes& b, ImageHeader& h, bool big_endian, bool big_tiff) {
    const int offset_size = big_tiff ? 8 : 4;
    const int count_size = big_tiff ? 8 : 2;
    const std::size_t entry_size = big_tiff ? 20 : 12;
    const std::size_t first = big_tiff ? 8 : 4;
    if (!b.has(first, offset_size)) return;
    const std::uint64_t ifd = b.read(first, offset_size, big_endian);
    if (ifd > b.size || !b.has(static_cast<std::size_t>(ifd), count_size)) return;
    std::uint64_t entries = b.read(static_cast<std::size_t>(ifd), count_size, big_endian);
    std::size_t pos = static_cast<std::size_t>(ifd) + count_size;
    for (; entries > 0 && b.has(pos, entry_size); --entries, pos += entry_size) {
        const unsigned tag = static_cast<unsigned>(b.read(pos, 2, big_endian));
        const unsigned type = static_cast<unsigned>(b.read(pos + 2, 2, big_endian));
        if (tag != 256 && tag != 257) continue;
        std::int64_t& side = tag == 256 ? h.width : h.height;
        if (side != 0) continue;  // libtiff keeps the first of duplicated tags
        const std::size_t value_at = pos + 4 + offset_size;  // after tag, type and value count
        std::uint64_t value = 0;
        if (type == 3)
            value = b.read(value_at, 2, big_endian);  // SHORT
        else if (type == 4)
            value = b.read(value_at, 4, big_endian);  // LONG
        else if (type == 16 && big_tiff)
            value = b.read(value_at, 8, big_endian);  // LONG8
        else
            return;
        if (value > static_cast<std::uint64_t>(INT64_MAX)) return;
        side = static_cast<std::int64_t>(value);
    }
}

void probe_bmp(const Bytes& b, ImageHeader& h) {
    if (!b.has(14, 4)) return;
    const std::uint64_t header_size = b.read(14, 4, false);
    if (header_size == 12) {  // OS/2 core header: 16-bit sizes
        if (!b.has(18, 4)) return;
        h.width = static_cast<std::int64_t>(b.read(18, 2, false));
        h.height = static_cast<std::int64_t>(b.read(20, 2, false));
        return;
    }
    if (!b.has(18, 8)) return;
    // Signed 32-bit; a negative height means top-down rows.
    const auto width = static_cast<std::int32_t>(static_cast<std::uint32_t>(b.read(18, 4, false)));
    const auto height = static_cast<std::int32_t>(static_cast<std::uint32_t>(b.read(22, 4, false)));
    if (width <= 0) return;
    h.width = width;
    h.height = height < 0 ? -static_cast<std::int64_t>(height) : height;
}

void probe_webp(const Bytes& b, ImageHeader& h) {
    if (b.starts_with("VP8 ", 4, 12)) {
        if (!b.has(20, 10) || b.data[23] != 0x9D || b.data[24] != 0x01 || b.data[25] != 0x2A) return;
        h.width = static_cast<std::int64_t>(b.read(26, 2, false) & 0x3FFF);
        h.height = static_cast<std::int64_t>(b.read(28, 2, false) & 0x3FFF);
    } else if (b.starts_with("VP8L", 4, 12)) {
        if (!b.has(20, 5) || b.data[20] != 0x2F) return;
        const std::uint64_t bits = b.read(21, 4, false);
        h.width = static_cast<std::int64_t>((bits & 0x3FFF) + 1);
        h.height = static_cast<std::int64_t>(((bits >> 14) & 0x3FFF) + 1);
    } else if (b.starts_with("VP8X", 4, 12)) {
        if (!b.has(24, 6)) return;
        h.width = static_cast<std::int64_t>(b.read(24, 3, false) + 1);
        h.height = static_cast<std::int64_t>(b.read(27, 3, false) + 1);
    }
}

}  // namespace

ImageHeader probe_image_header(const unsigned char* data, std::size_t size) {
    ImageHeader h;
    if (!data) return h;
    const Bytes b{data, size};
    if (b.starts_with("\xFF\xD8\xFF", 3)) {
        h.format = ImageFormat::jpeg;
        probe_jpeg(b, h);
    } else if (b.starts_with("\x89PNG\r\n\x1A\n", 8)) {
        h.format = ImageFormat::png;
        probe_png(b, h);
    } else if (b.starts_with("II*\0", 4) || b.starts_with("MM\0*", 4)) {
        h.format = ImageFormat::tiff;
        probe_tiff(b, h, b.data[0] == 'M', false);
    } else if (b.starts_with("II+\0", 4) || b.starts_with("MM\0+", 4)) {
        h.format = ImageFormat::tiff;
        probe_tiff(b, h, b.data[0] == 'M', true);
    } else if (b.starts_with("BM", 2)) {
        h.format = ImageFormat::bmp;
        probe_bmp(b, h);
    } else if (b.starts_with("RIFF", 4) && b.starts_with("WEBP", 4, 8)) {
        h.format = ImageFormat::webp;
        probe_webp(b, h);
    }
    return h;
}

bool within_decoding_bound(const ImageHeader& header) {
    // Compare by division so huge declared sides cannot overflow the product.
    return header.width <= kMaxDecodedPixels / header.height;
}

std::string too_large_text(const ImageHeader& header) {
    return std::to_string(header.width) + " x " + std::to_string(header.height) +
           " pixels, more than the " + std::to_string(kMaxDecodedPixels / 1'000'000) + "-megapixel limit";
}

}  // namespace vornalix
