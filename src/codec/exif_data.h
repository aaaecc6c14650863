#pragma once
// An EXIF block ("Exif\0\0" + TIFF structure) parsed by libexif, for the
// codecs that read a tag of it or copy it into a file's own fields.

#include <libexif/exif-data.h>

#include <memory>
#include <vector>

namespace vornalix::codec {

using ParsedExif = std::unique_ptr<ExifData, decltype(&exif_data_unref)>;

// Null for an empty or unreadable block.
inline ParsedExif parse_exif(const std::vector<unsigned char>& block) {
    ExifData* data =
        block.empty() ? nullptr : exif_data_new_from_data(block.data(), static_cast<unsigned int>(block.size()));
    return ParsedExif(data, &exif_data_unref);
}

}  // namespace vornalix::codec
