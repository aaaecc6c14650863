#pragma once
// Test inputs for the EXIF and export tests: EXIF blocks built with libexif,
// and small JPEGs carrying them.

#include "support/temp_dir.h"
#include "vornalix.h"

#include <libexif/exif-data.h>

#include <string>
#include <vector>

namespace fixtures {

using Bytes = std::vector<unsigned char>;

// Names of the files in the folder, sorted.
std::vector<std::string> file_names(const vornalix::testing::TempDir& dir);

// An EXIF block assembled entry by entry; entries keep exactly the format,
// count and bytes given, so malformed entries can be built too.
class ExifBuilder {
public:
    ExifBuilder();
    ~ExifBuilder();
    ExifBuilder(const ExifBuilder&) = delete;
    ExifBuilder& operator=(const ExifBuilder&) = delete;

    ExifBuilder& ascii(ExifIfd ifd, unsigned tag, const std::string& text);
    ExifBuilder& rationals(ExifIfd ifd, unsigned tag, const std::vector<std::pair<unsigned, unsigned>>& values);
    ExifBuilder& srational(ExifIfd ifd, unsigned tag, int num, int den);
    ExifBuilder& short_value(ExifIfd ifd, unsigned tag, unsigned short v);
    ExifBuilder& raw(ExifIfd ifd, unsigned tag, ExifFormat format, unsigned components, const Bytes& bytes);
    Bytes block() const;  // serialised, starting "Exif\0\0"

private:
    ExifData* data_;
};

// A camera's block: Make "Maker", Model "Model X", 1/250 s, orientation 6.
Bytes camera_block();

// A small JFIF JPEG (starts FF D8 FF E0) of a flat grey picture.
Bytes plain_jpeg(int width = 16, int height = 12);
// SOI, an APP1 segment holding `block`, then the plain JPEG after its SOI.
Bytes jpeg_with_exif(const Bytes& block);
// The marker segment FF `marker`, length, payload.
Bytes segment(unsigned char marker, const Bytes& payload);
Bytes concat(std::initializer_list<Bytes> parts);

Bytes read_bytes(const std::string& path);
void write_bytes(const std::string& path, const Bytes& bytes);

// Payloads of every APPn segment with the given marker, in file order.
std::vector<Bytes> segments_with_marker(const Bytes& jpeg, unsigned char marker);

}  // namespace fixtures
