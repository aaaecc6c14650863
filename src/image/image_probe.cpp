#include "image/image_probe.h"

#include <opencv2/imgcodecs.hpp>

#include <cstring>
#include <fstream>
#include <filesystem>

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
    std::size_t pos = 2;
    while (b.has(pos, 2)) {
        if (b.data[pos] != 0xFF) return;
        while (b.has(pos + 1, 1) && b.data[pos + 1] == 0xFF) ++pos;  // fill bytes
        if (!b.has(pos + 1, 1)) return;
        const unsigned marker = b.data[pos + 1];
        pos += 2;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;  // no length
        if (marker == 0xD9 || marker == 0xDA || !b.has(pos, 2)) return;      // no frame header
        const std::size_t length = b.read(pos, 2, true);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) {
            if (length < 7 || !b.has(pos, 7)) return;
            h.height = static_cast<std::int64_t>(b.read(pos + 3, 2, true));
            h.width = static_cast<std::int64_t>(b.read(pos + 5, 2, true));
            return;
        }
        if (length < 2) return;
        pos += length;
    }
}

void probe_png(const Bytes& b, ImageHeader& h) {
    if (!b.starts_with("IHDR", 4, 12) || !b.has(16, 8)) return;
    h.width = static_cast<std::int64_t>(b.read(16, 4, true));
    h.height = static_cast<std::int64_t>(b.read(20, 4, true));
}

// The first directory's ImageWidth (256) and ImageLength (257), classic or
// BigTIFF layout; OpenCV decodes that first directory.
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
        (tag == 256 ? h.width : h.height) = static_cast<std::int64_t>(value);
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

ImageRead decode_image_bytes(const std::vector<unsigned char>& bytes, int imread_flags) {
    ImageRead r;
    r.header = probe_image_header(bytes.data(), bytes.size());
    const ImageHeader& h = r.header;
    if (h.format == ImageFormat::unknown || h.width <= 0 || h.height <= 0) return r;
    // Compare by division so huge declared sides cannot overflow the product.
    if (h.width > kMaxDecodedPixels / h.height) {
        r.status = ImageReadStatus::too_large;
        return r;
    }
    r.image = cv::imdecode(bytes, imread_flags);
    r.status = r.image.empty() ? ImageReadStatus::unreadable : ImageReadStatus::ok;
    return r;
}

bool read_file_bytes(const std::string& path, std::vector<unsigned char>& bytes) {
    bytes.clear();
    // Only regular files: a directory or FIFO is no image (and a FIFO would block).
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return false;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return false;
    const std::streamoff size = in.tellg();
    if (size < 0) return false;
    bytes.resize(static_cast<std::size_t>(size));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), size);
    bytes.resize(static_cast<std::size_t>(in.gcount()));  // the file may have shrunk meanwhile
    return true;
}

ImageRead read_image_file(const std::string& path, int imread_flags) {
    std::vector<unsigned char> bytes;
    if (!read_file_bytes(path, bytes)) return ImageRead{};
    return decode_image_bytes(bytes, imread_flags);
}

std::string too_large_text(const ImageHeader& header) {
    return std::to_string(header.width) + " x " + std::to_string(header.height) +
           " pixels, more than the " + std::to_string(kMaxDecodedPixels / 1'000'000) + "-megapixel limit";
}

}  // namespace vornalix
