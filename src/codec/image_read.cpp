#include "codec/image_read.h"

#include "codec/exif_data.h"
#include "core/failure.h"
#include "image/image_probe.h"
#include "output/file_io.h"

#include <cstring>
#include <new>

namespace vornalix::codec {

namespace {

constexpr int kUpright = 1;
constexpr unsigned char kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};

int exif_orientation(const Bytes& exif) {
    const ParsedExif data = parse_exif(exif);
    if (!data) return kUpright;
    ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (!entry || !entry->data || entry->format != EXIF_FORMAT_SHORT || entry->size < 2) return kUpright;
    return exif_get_short(entry->data, exif_data_get_byte_order(data.get()));
}

// Turns the pixels upright by their EXIF orientation (2 to 8). OpenCV's read
// did so for JPEG and PNG files (WebP stayed as stored, TIFF follows its own
// tag), and loaded pictures keep the shape they had.
void apply_orientation(cv::Mat& image, int orientation) {
    if (image.empty() || orientation < 2 || orientation > 8) return;
    if (orientation >= 5) cv::transpose(image, image);
    switch (orientation) {
        case 2: case 6: cv::flip(image, image, 1); break;
        case 3: case 7: cv::flip(image, image, -1); break;
        case 4: case 8: cv::flip(image, image, 0); break;
        default: break;
    }
}

DecodedImage upright(DecodedImage image) {
    const int orientation = exif_orientation(image.exif);
    apply_orientation(image.rgb, orientation);
    apply_orientation(image.cmyk, orientation);
    return image;
}

DecodedImage read_by_format(ImageFormat format, const Bytes& bytes) {
    const unsigned char* data = bytes.data();
    switch (format) {
        case ImageFormat::jpeg: return upright(read_jpeg(data, bytes.size()));
        case ImageFormat::png: return upright(read_png(data, bytes.size()));
        case ImageFormat::tiff: return read_tiff(data, bytes.size());
        case ImageFormat::bmp: return read_bmp(data, bytes.size());
        case ImageFormat::webp: return read_webp(data, bytes.size());
        default: break;
    }
    fail("unknown image format");
}

}  // namespace

bool has_exif_header(const unsigned char* data, std::size_t size) {
    return size >= sizeof kExifHeader && std::memcmp(data, kExifHeader, sizeof kExifHeader) == 0;
}

Bytes exif_block(const unsigned char* data, std::size_t size) {
    if (size == 0) return {};
    Bytes block;
    if (!has_exif_header(data, size)) block.assign(kExifHeader, kExifHeader + sizeof kExifHeader);
    block.insert(block.end(), data, data + size);
    return block;
}

void require_decodable_size(std::int64_t width, std::int64_t height) {
    ImageHeader header;
    header.width = width;
    header.height = height;
    if (width <= 0 || height <= 0 || !within_decoding_bound(header)) fail("frame size out of bounds");
}

DecodedImage decode_image(const Bytes& bytes, const std::string& name) {
    const std::string unreadable = "OpenCV could not read: " + name;
    const ImageHeader header = probe_image_header(bytes.data(), bytes.size());
    if (header.format == ImageFormat::unknown || header.width <= 0 || header.height <= 0) fail(unreadable);
    if (!within_decoding_bound(header)) fail("image too large (" + too_large_text(header) + "): " + name);
    try {
        DecodedImage image = read_by_format(header.format, bytes);
        if (image.rgb.empty()) fail(unreadable);
        return image;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception&) {
        fail(unreadable);
    }
}

DecodedImage read_image_file(const std::string& path) {
    Bytes bytes;
    if (!output::read_file(path, bytes)) fail("OpenCV could not read: " + path);
    return decode_image(bytes, path);
}

}  // namespace vornalix::codec
