#pragma once
// Loading a file's EXIF data with libexif, shared by reading and copying.

#include <libexif/exif-data.h>

#include <cstddef>
#include <memory>
#include <string>

namespace vornalix::metadata {

struct ExifDataRelease {
    void operator()(ExifData* data) const {
        if (data) exif_data_unref(data);
    }
};
using ExifDataPtr = std::unique_ptr<ExifData, ExifDataRelease>;

struct LoadedExif {
    ExifDataPtr data;
    // True when the data came from the file's own TIFF structure (a RAW
    // file) rather than from an EXIF segment.
    bool from_tiff = false;
};

// libexif's loader first (JPEG and the formats it knows); when that finds
// nothing and the file starts with a TIFF header, the file's first 64 KiB
// behind an EXIF identifier, which is how most RAW formats keep their
// camera metadata. Empty when neither yields any entry.
LoadedExif load_exif_data(const std::string& path);
// The same over a file's bytes already in memory.
LoadedExif load_exif_data(const unsigned char* bytes, std::size_t size);

// True when the entry holds at least `count` values of `format`, both by its
// declared format and by the bytes it really carries.
bool entry_holds(const ExifEntry* entry, ExifFormat format, unsigned count);

}  // namespace vornalix::metadata
