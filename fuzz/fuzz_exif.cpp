// EXIF reading and the block prepared for copying, over whole files held in
// memory (JPEG segments, libexif's other formats and TIFF-based RAW headers),
// followed by what a copy and a strip do with the bytes.

#include "metadata/exif.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using vornalix::metadata::Bytes;

namespace {

// The skeleton of a JPEG (start, JFIF segment, end): enough to copy into.
const Bytes& target_jpeg() {
    static const Bytes jpeg = [] {
        Bytes j = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
        j.insert(j.end(), {0xFF, 0xD9});
        return j;
    }();
    return jpeg;
}

bool terminated(const char* text, std::size_t size) { return std::memchr(text, '\0', size) != nullptr; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    VornalixExif record;
    vornalix::metadata::read_exif(data, size, record);
    if (!terminated(record.make, sizeof record.make) || !terminated(record.model, sizeof record.model) ||
        !terminated(record.lens, sizeof record.lens) || !terminated(record.datetime, sizeof record.datetime))
        std::abort();
    if (!std::isfinite(record.aperture) || !std::isfinite(record.exposure_time) ||
        !std::isfinite(record.focal_length))
        std::abort();

    const Bytes block = vornalix::metadata::exif_block_for_copy(data, size);
    Bytes copy = target_jpeg();
    if (!block.empty() && vornalix::metadata::insert_app1(copy, block)) {
        // What was copied reads back.
        VornalixExif again;
        vornalix::metadata::read_exif(copy.data(), copy.size(), again);
    }

    Bytes stripped(data, data + size);
    vornalix::metadata::strip_app1(stripped);
    return 0;
}
