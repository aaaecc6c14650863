#include "support/crafted_files.h"
#include "support/exif_fixtures.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <tiffio.h>

#include <cstdint>
#include <vector>

namespace vornalix::testing {

namespace {

void put_le(std::vector<unsigned char>& bytes, uint32_t value, int n) {
    for (int i = 0; i < n; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

}  // namespace

Bytes bmp_bytes(const BmpLayout& l, const Bytes& pixels) {
    constexpr uint32_t kFileHeader = 14, kCoreHeader = 12, kInfoHeader = 40, kDotsPerMetre = 2835;  // 72 dpi
    const uint32_t entry = l.core ? 3 : 4;
    const uint32_t offset = kFileHeader + (l.core ? kCoreHeader : kInfoHeader) +
                            4 * static_cast<uint32_t>(l.masks.size()) + entry * static_cast<uint32_t>(l.palette.size());
    Bytes b = {'B', 'M'};
    for (uint32_t v : {offset + static_cast<uint32_t>(pixels.size()), 0u, offset}) put_le(b, v, 4);
    const auto width = static_cast<uint32_t>(l.width), height = static_cast<uint32_t>(l.top_down ? -l.height : l.height);
    if (l.core) {
        put_le(b, kCoreHeader, 4);
        for (uint32_t v : {width, height, 1u, static_cast<uint32_t>(l.bits)}) put_le(b, v, 2);  // sizes, planes, depth
    } else {
        for (uint32_t v : {kInfoHeader, width, height}) put_le(b, v, 4);
        for (uint32_t v : {1u, static_cast<uint32_t>(l.bits)}) put_le(b, v, 2);  // planes, depth
        for (uint32_t v : {static_cast<uint32_t>(l.compression), static_cast<uint32_t>(pixels.size()), kDotsPerMetre,
                           kDotsPerMetre, static_cast<uint32_t>(l.palette.size()), 0u})
            put_le(b, v, 4);
    }
    for (uint32_t m : l.masks) put_le(b, m, 4);
    for (const auto& c : l.palette) {
        b.insert(b.end(), c.begin(), c.end());
        if (!l.core) b.push_back(0);  // Windows entries are padded to four bytes
    }
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

Bytes bmp_rows(int width, int height, int bits, const std::function<uint32_t(int, int)>& f) {
    Bytes out;
    for (int y = height - 1; y >= 0; --y) {
        Bytes row(static_cast<size_t>((width * bits + 31) / 32 * 4), 0);
        for (int x = 0; x < width; ++x) {
            const uint32_t v = f(x, y);
            const auto at = static_cast<size_t>(x * bits / 8);
            if (bits < 8)
                row[at] |= static_cast<unsigned char>(v << (8 - bits - x * bits % 8));
            else
                for (int i = 0; i < bits / 8; ++i) row[at + static_cast<size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

Bytes profile_bytes(cmsHPROFILE profile) {
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes out(size);
    cmsSaveProfileToMem(profile, out.data(), &size);
    cmsCloseProfile(profile);
    return out;
}

void add_tiff_exif(const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "a");  // unlike "r+", leaves libtiff nothing to leak
    uint64_t exif_at = 0;
    TIFFCreateEXIFDirectory(tif);
    TIFFSetField(tif, EXIFTAG_EXPOSURETIME, 1 / 250.0);
    TIFFWriteCustomDirectory(tif, &exif_at);
    TIFFSetDirectory(tif, 0);
    TIFFSetField(tif, TIFFTAG_MAKE, "Maker");
    TIFFSetField(tif, TIFFTAG_EXIFIFD, exif_at);
    TIFFClose(tif);
}

Bytes jpeg_with_icc(const Bytes& jpeg, const Bytes& profile) {
    const Bytes tag = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1, 1};  // chunk 1 of 1
    const auto length = static_cast<uint32_t>(2 + tag.size() + profile.size());
    Bytes out = {0xFF, 0xD8, 0xFF, 0xE2, static_cast<unsigned char>(length >> 8), static_cast<unsigned char>(length)};
    out.insert(out.end(), tag.begin(), tag.end());
    out.insert(out.end(), profile.begin(), profile.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

bool write_pfm(const std::string& path) {
    cv::Mat image(24, 32, CV_32FC3, cv::Scalar(0.25f, 0.5f, 0.75f));
    std::vector<unsigned char> bytes;
    if (!cv::imencode(".pfm", image, bytes)) return false;
    fixtures::write_bytes(path, bytes);
    return true;
}

}  // namespace vornalix::testing
