// The EXIF (APP1) segment of a JPEG at the byte level. Every walk checks a
// segment's length against the data before using it, so a truncated or
// corrupt file is refused rather than read past its end.

#include "metadata/exif.h"
#include "metadata/jpeg_segments.h"

#include <cstddef>

namespace vornalix::metadata {

namespace {

constexpr unsigned char kMarker = 0xFF;
constexpr unsigned char kStartOfImage = 0xD8;
constexpr unsigned char kEndOfImage = 0xD9;
constexpr unsigned char kApp0 = 0xE0;
constexpr unsigned char kApp1 = 0xE1;
constexpr unsigned char kStartOfScan = 0xDA;
constexpr unsigned char kTemporary = 0x01;
constexpr unsigned char kRestart0 = 0xD0;
// The length field (16 bits) counts its own two bytes.
constexpr std::size_t kMaxSegmentPayload = 0xFFFF - 2;

bool is_jpeg(const Bytes& f) { return f.size() >= 4 && f[0] == kMarker && f[1] == kStartOfImage; }

bool stands_alone(unsigned char marker) {
    return marker == kTemporary || (marker >= kRestart0 && marker <= kEndOfImage);
}

}  // namespace

JpegWalk walk_jpeg_segments(const unsigned char* data, std::size_t size,
                            const std::function<bool(const JpegSegment&)>& visit) {
    if (!data || size < 2 || data[0] != kMarker || data[1] != kStartOfImage) return {0, false};
    std::size_t pos = 2;
    while (pos < size && data[pos] == kMarker) {
        JpegSegment s;
        s.begin = pos;
        while (pos + 1 < size && data[pos + 1] == kMarker) ++pos;  // fill bytes
        if (pos + 1 >= size) return {s.begin, true};
        s.marker = data[pos + 1];
        // 0xFF00 is no marker; the scan and the end of image close the header.
        if (s.marker == 0x00 || s.marker == kStartOfScan || s.marker == kEndOfImage) return {s.begin, true};
        if (stands_alone(s.marker)) {
            s.payload = s.end = pos + 2;
        } else {
            if (size - pos < 4) return {s.begin, false};
            const std::size_t length = (static_cast<std::size_t>(data[pos + 2]) << 8) | data[pos + 3];
            if (length < 2 || length > size - pos - 2) return {s.begin, false};
            s.payload = pos + 4;
            s.end = pos + 2 + length;
        }
        if (!visit(s)) return {s.begin, true};
        pos = s.end;
    }
    return {pos, true};
}


bool insert_app1(Bytes& jpeg, const Bytes& block) {
    if (!is_jpeg(jpeg) || block.empty() || block.size() > kMaxSegmentPayload) return false;

    // The leading run of APP0/APP1 segments goes; anything behind the first
    // other segment is kept as it is.
    const JpegWalk walk = walk_jpeg_segments(jpeg.data(), jpeg.size(), [](const JpegSegment& s) {
        return s.marker == kApp0 || s.marker == kApp1;
    });
    if (!walk.intact) return false;
    const std::size_t p = walk.at;

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
    const auto at = [&](std::size_t i) { return jpeg.begin() + static_cast<std::ptrdiff_t>(i); };
    const JpegWalk walk = walk_jpeg_segments(jpeg.data(), jpeg.size(), [&](const JpegSegment& s) {
        if (s.marker != kApp1) out.insert(out.end(), at(s.begin), at(s.end));
        return true;
    });
    if (!walk.intact) return false;
    // The scan and anything the walk does not understand are copied as they stand.
    out.insert(out.end(), at(walk.at), jpeg.end());
    jpeg.swap(out);
    return true;
}

}  // namespace vornalix::metadata
