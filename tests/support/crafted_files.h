#pragma once
// Small files that OpenCV's decoders would accept but the library must not
// hand them: formats outside the five it reads, and headers that claim a
// huge frame.

#include <lcms2.h>

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vornalix::testing {

using Bytes = std::vector<unsigned char>;

// A BMP's header fields; the palette holds B, G, R triples.
struct BmpLayout {
    int width = 0;
    int height = 0;  // written negative when top_down
    int bits = 24;
    int compression = 0;  // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields
    std::vector<std::array<unsigned char, 3>> palette;
    std::vector<uint32_t> masks;  // written right after a Windows header
    bool core = false;            // OS/2 core header (12 bytes, 3-byte palette entries)
    bool top_down = false;
};

// The whole file: headers, masks, palette, then `pixels` as given.
Bytes bmp_bytes(const BmpLayout& layout, const Bytes& pixels);

// Rows of `bits`-bit values f(x, y), bottom row first, each padded to 4 bytes.
Bytes bmp_rows(int width, int height, int bits, const std::function<uint32_t(int, int)>& f);

// A Little CMS profile serialised (and closed).
Bytes profile_bytes(cmsHPROFILE profile);

// The JPEG with `profile` in an APP2 ICC segment right after its SOI.
Bytes jpeg_with_icc(const Bytes& jpeg, const Bytes& profile);

// Gives the TIFF file at `path` the make "Maker" and an EXIF directory with
// an exposure time of 1/250 s, written, as libtiff does, after the pixels.
void add_tiff_exif(const std::string& path);

// A small Portable Float Map (a format OpenCV reads by content) stored
// under `path`, whatever its extension.
bool write_pfm(const std::string& path);

}  // namespace vornalix::testing
