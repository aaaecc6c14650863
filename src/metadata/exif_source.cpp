#include "metadata/exif_source.h"

#include <libexif/exif-loader.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace vornalix::metadata {

namespace {

// libexif reads no further than this into a block, as in a JPEG segment.
constexpr std::size_t kTiffWindow = 65536;
constexpr unsigned char kExifIdentifier[] = {'E', 'x', 'i', 'f', 0, 0};

bool has_tiff_header(const unsigned char* b, std::size_t n) {
    return n >= 8 && ((b[0] == 'I' && b[1] == 'I' && b[2] == 42 && b[3] == 0) ||
                      (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && b[3] == 42));
}

bool has_entries(const ExifData* data) {
    for (int ifd = 0; ifd < EXIF_IFD_COUNT; ++ifd)
        if (data->ifd[ifd] && data->ifd[ifd]->count > 0) return true;
    return false;
}

ExifDataPtr load_with_loader(const std::string& path) {
    ExifLoader* loader = exif_loader_new();
    if (!loader) return nullptr;
    exif_loader_write_file(loader, path.c_str());
    ExifDataPtr data(exif_loader_get_data(loader));
    exif_loader_unref(loader);
    return data;
}

ExifDataPtr load_from_tiff(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return nullptr;
    std::vector<unsigned char> block(sizeof kExifIdentifier + kTiffWindow);
    std::memcpy(block.data(), kExifIdentifier, sizeof kExifIdentifier);
    file.read(reinterpret_cast<char*>(block.data() + sizeof kExifIdentifier), kTiffWindow);
    const auto got = static_cast<std::size_t>(file.gcount());
    if (!has_tiff_header(block.data() + sizeof kExifIdentifier, got)) return nullptr;
    ExifDataPtr data(exif_data_new_from_data(block.data(), static_cast<unsigned>(sizeof kExifIdentifier + got)));
    if (!data || !has_entries(data.get())) return nullptr;
    return data;
}

}  // namespace

LoadedExif load_exif_data(const std::string& path) {
    LoadedExif loaded;
    loaded.data = load_with_loader(path);
    if (!loaded.data) {
        loaded.data = load_from_tiff(path);
        loaded.from_tiff = static_cast<bool>(loaded.data);
    }
    return loaded;
}

bool entry_holds(const ExifEntry* entry, ExifFormat format, unsigned count) {
    return entry && entry->data && entry->format == format && entry->components >= count &&
           entry->size >= count * exif_format_get_size(format);
}

}  // namespace vornalix::metadata
