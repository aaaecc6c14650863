// The EXIF (APP1) segment of a JPEG at the byte level. Every walk checks a
// segment's length against the data before using it, so a truncated or
// corrupt file is refused rather than read past its end.

#include "metadata/exif.h"

#include <cstddef>

namespace vornalix::metadata {

namespace {

constexpr unsigned char kMarker = 0xFF;
constexpr unsigned char kStartOfImage = 0xD8;
constexpr unsigned char kApp1 = 0xE1;
constexpr unsigned char kStartOfScan = 0xDA;
// The length field (16 bits) counts its own two bytes.
constexpr std::size_t kMaxSegmentPayload = 0xFFFF - 2;

bool is_jpeg(const Bytes& f) { return f.size() >= 4 && f[0] == kMarker && f[1] == kStartOfImage; }

// Markers that stand alone, without a length field: TEM, RST0..7, SOI, EOI
// and fill bytes.
bool has_length(unsigned char marker) {
    return !(marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9) || marker == kMarker);
}

// End of the segment starting at p (which holds at least four bytes), or 0
// when its length is invalid or runs past the end of the data.
std::size_t segment_end(const Bytes& f, std::size_t p) {
    const std::size_t length = (static_cast<std::size_t>(f[p + 2]) << 8) | f[p + 3];
    if (length < 2 || length > f.size() - p - 2) return 0;
    return p + 2 + length;
}

}  // namespace

bool insert_app1(Bytes& jpeg, const Bytes& block) {
    if (!is_jpeg(jpeg) || block.empty() || block.size() > kMaxSegmentPayload) return false;

    // The leading run of APP0/APP1 segments goes; anything behind the first
    // other segment is kept as it is.
    std::size_t p = 2;
    while (p + 3 < jpeg.size() && jpeg[p] == kMarker && (jpeg[p + 1] & 0xFE) == 0xE0) {
        p = segment_end(jpeg, p);
        if (p == 0) return false;
    }

    const std::size_t length = block.size() + 2;
    Bytes out;
    out.reserve(6 + block.size() + (jpeg.size() - p));
    out.insert(out.end(), {kMarker, kStartOfImage, kMarker, kApp1, static_cast<unsigned char>(length >> 8),
                           static_cast<unsigned char>(length & 0xFF)});
    out.insert(out.end(), block.begin(), block.end());
    out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(p), jpeg.end());
    jpeg.swap(out);
    return true;
}

bool strip_app1(Bytes& jpeg) {
    if (!is_jpeg(jpeg)) return false;
    Bytes out{kMarker, kStartOfImage};
    out.reserve(jpeg.size());
    std::size_t p = 2;
    while (p < jpeg.size()) {
        // The scan and anything the walk does not understand are copied as they stand.
        if (p + 3 >= jpeg.size() || jpeg[p] != kMarker || !has_length(jpeg[p + 1]) ||
            jpeg[p + 1] == kStartOfScan) {
            out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(p), jpeg.end());
            break;
        }
        const std::size_t end = segment_end(jpeg, p);
        if (end == 0) return false;
        if (jpeg[p + 1] != kApp1)
            out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(p),
                       jpeg.begin() + static_cast<std::ptrdiff_t>(end));
        p = end;
    }
    jpeg.swap(out);
    return true;
}

}  // namespace vornalix::metadata
