#include "codec/image_write.h"

#include "output/file_io.h"

#include <cstring>

namespace vornalix::codec {

namespace {

struct Extension {
    const char* text;
    ImageFormat format;
};

constexpr Extension kExtensions[] = {
    {".jpg", ImageFormat::jpeg},  {".jpeg", ImageFormat::jpeg}, {".jpe", ImageFormat::jpeg},
    {".png", ImageFormat::png},   {".tif", ImageFormat::tiff},  {".tiff", ImageFormat::tiff},
    {".webp", ImageFormat::webp}, {".bmp", ImageFormat::bmp},   {".dib", ImageFormat::bmp},
};

constexpr unsigned char kExifIdentifier[] = {'E', 'x', 'i', 'f', 0, 0};

}  // namespace

ImageFormat format_for_path(const std::string& path) {
    const std::string ext = output::extension_of(path);
    for (const Extension& e : kExtensions)
        if (ext == e.text) return e.format;
    return ImageFormat::none;
}

bool holds_only_8bit(ImageFormat format) {
    return format == ImageFormat::jpeg || format == ImageFormat::webp || format == ImageFormat::bmp;
}

bool encode_image(ImageFormat format, const EncodeRequest& request, Bytes& out) {
    out.clear();
    if (request.pixels.empty()) return false;
    switch (format) {
        case ImageFormat::jpeg: return encode_jpeg(request, out);
        case ImageFormat::png: return encode_png(request, out);
        case ImageFormat::tiff: return encode_tiff(request, out);
        case ImageFormat::webp: return encode_webp(request, out);
        case ImageFormat::bmp: return encode_bmp(request, out);
        case ImageFormat::none: break;
    }
    return false;
}

Bytes tiff_part_of_exif(const Bytes& exif) {
    const size_t skip = sizeof kExifIdentifier;
    if (exif.size() <= skip || std::memcmp(exif.data(), kExifIdentifier, skip) != 0) return exif;
    return Bytes(exif.begin() + static_cast<std::ptrdiff_t>(skip), exif.end());
}

}  // namespace vornalix::codec
