// The byte-level JPEG walks: the header probe that decides whether a file may
// be decoded, and the APP1 insertion and removal behind EXIF copy and strip.

#include "image/image_probe.h"
#include "metadata/exif.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using vornalix::metadata::Bytes;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const vornalix::ImageHeader header = vornalix::probe_image_header(data, size);
    if (header.width < 0 || header.height < 0) std::abort();

    // The first byte splits the input into a block and a JPEG, so both the
    // inserted segment and the file it goes into vary.
    const std::size_t split = size == 0 ? 0 : 1 + (size - 1) * data[0] / 255;
    const Bytes block(data + (size ? 1 : 0), data + split);
    const Bytes original(data + split, data + size);

    Bytes inserted = original;
    if (vornalix::metadata::insert_app1(inserted, block)) {
        // The new segment leads the file with exactly the block's bytes.
        const std::size_t length = block.size() + 2;
        if (inserted.size() < 6 + block.size() || inserted[3] != 0xE1 || inserted[4] != (length >> 8) ||
            inserted[5] != (length & 0xFF))
            std::abort();
    } else if (inserted != original) {
        std::abort();  // a refusal leaves the data alone
    }

    Bytes whole(data, data + size);
    Bytes stripped = whole;
    if (vornalix::metadata::strip_app1(stripped)) {
        if (stripped.size() > whole.size()) std::abort();
    } else if (stripped != whole) {
        std::abort();
    }
    return 0;
}
