#pragma once
// The one walk over a JPEG header's marker segments, shared by the header
// probe and the EXIF segment edits so that both agree on which markers
// stand alone and where a segment ends.

#include <cstddef>
#include <functional>

namespace vornalix::metadata {

struct JpegSegment {
    unsigned char marker = 0;
    std::size_t begin = 0;    // first byte, fill bytes before the marker included
    std::size_t payload = 0;  // first byte after the marker and its length field
    std::size_t end = 0;      // one past the last byte
};

// Where a walk stopped: `at` is the first byte not visited; `intact` is false
// when a segment's length field is cut short, below 2 or runs past the data.
struct JpegWalk {
    std::size_t at = 0;
    bool intact = true;
};

// Visits the segments after the start-of-image marker in order until `visit`
// returns false or the walk meets the start of scan, the end of image, a byte
// that starts no marker, or the end of the data (none of them visited).
// Standalone markers (TEM, RST0-7, SOI, EOI) carry no length field. Data
// that does not begin with SOI gives {0, false}.
JpegWalk walk_jpeg_segments(const unsigned char* data, std::size_t size,
                            const std::function<bool(const JpegSegment&)>& visit);

}  // namespace vornalix::metadata
