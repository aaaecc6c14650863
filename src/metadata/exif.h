#pragma once
// EXIF of the loaded photograph: reading into the C record, and copying,
// stripping and writing the EXIF (APP1) segment of JPEG files.

#include "vornalix.h"

#include <libexif/exif-data.h>

#include <cstddef>
#include <string>
#include <vector>

namespace vornalix::metadata {

using Bytes = std::vector<unsigned char>;

// Fills `out` from the file's EXIF block; false (record zeroed, GPS NaN) when
// the file has none. Reads JPEG and other files libexif's loader knows, and
// the TIFF structure that most RAW formats are built on.
bool read_exif(const std::string& path, VornalixExif& out);
// The same over a whole file's bytes in memory.
bool read_exif(const unsigned char* bytes, std::size_t size, VornalixExif& out);

// One GPS coordinate in signed decimal degrees (south and west negative), or
// NaN when the value entry is missing or not three rationals.
double gps_degrees(ExifData* data, ExifTag value_tag, ExifTag ref_tag);

// The file's EXIF block serialised for an APP1 segment ("Exif\0\0" + TIFF),
// prepared for a developed copy of the picture: an Orientation entry is set
// to 1 (the pixels are upright), and image-structure tags of a RAW file's
// own TIFF header are dropped. Empty when the file has no EXIF block.
Bytes exif_block_for_copy(const std::string& path);
Bytes exif_block_for_copy(const unsigned char* bytes, std::size_t size);
// The copy's block with its ColorSpace entry (set or added) agreeing with the
// written pixels: 1 for sRGB, 0xFFFF (uncalibrated) for any other space; and
// their width and height in PixelX/YDimension (set or added) and in
// ImageWidth/ImageLength where the block holds them.
Bytes exif_block_for_export(const std::string& path, bool srgb_pixels, int width, int height);

// Puts `block` into the JPEG in memory as the APP1 segment right after the
// start-of-image marker, replacing the leading run of APP0/APP1 segments.
// False (jpeg unchanged) for a non-JPEG, an empty block, a block too large
// for a segment, or a leading segment that runs past the end of the data.
bool insert_app1(Bytes& jpeg, const Bytes& block);

// Drops every APP1 segment before the start of scan; other bytes keep their
// order. False (jpeg unchanged) for a non-JPEG or a corrupt segment chain.
bool strip_app1(Bytes& jpeg);

// File forms of the above; the target is replaced only when the new content
// is complete, and is left byte-for-byte untouched on every failure.
bool copy_exif(const std::string& src_path, const std::string& dst_path);
bool strip_exif(const std::string& path);
// Writes a fresh block holding Make and, when iso >= 1, ISOSpeedRatings.
bool write_exif(const std::string& path, const VornalixExif& exif);

}  // namespace vornalix::metadata
