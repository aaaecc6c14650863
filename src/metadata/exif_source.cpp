#include "metadata/exif_source.h"

#include "codec/image_read.h"
#include "output/file_io.h"

#include <libexif/exif-loader.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
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

ExifDataPtr take_loader_data(ExifLoader* loader) {
    ExifDataPtr data(exif_loader_get_data(loader));
    exif_loader_unref(loader);
    return data;
}

ExifDataPtr load_with_loader(const std::string& path) {
    ExifLoader* loader = exif_loader_new();
    if (!loader) return nullptr;
    exif_loader_write_file(loader, path.c_str());
    return take_loader_data(loader);
}

ExifDataPtr load_with_loader(const unsigned char* bytes, std::size_t size) {
    ExifLoader* loader = exif_loader_new();
    if (!loader) return nullptr;
    // The loader takes an unsigned length per call and answers 0 once it has enough.
    constexpr std::size_t kChunk = std::size_t{1} << 20;
    for (std::size_t done = 0; done < size;) {
        const auto n = static_cast<unsigned>(std::min(kChunk, size - done));
        if (!exif_loader_write(loader, const_cast<unsigned char*>(bytes + done), n)) break;
        done += n;
    }
    return take_loader_data(loader);
}

ExifDataPtr load_from_block(const std::vector<unsigned char>& block) {
    if (block.empty()) return nullptr;
    ExifDataPtr data(exif_data_new_from_data(block.data(), static_cast<unsigned>(block.size())));
    if (!data || !has_entries(data.get())) return nullptr;
    return data;
}

// The first bytes of a file (at most kTiffWindow) behind an EXIF identifier.
ExifDataPtr load_from_window(const unsigned char* bytes, std::size_t size) {
    size = std::min(size, kTiffWindow);
    if (!has_tiff_header(bytes, size)) return nullptr;
    std::vector<unsigned char> block(kExifIdentifier, kExifIdentifier + sizeof kExifIdentifier);
    block.insert(block.end(), bytes, bytes + size);
    return load_from_block(block);
}

// The window first; failing that, the EXIF directories wherever the file
// keeps them (a TIFF writer often puts them after the pixels).
ExifDataPtr load_from_tiff(const unsigned char* bytes, std::size_t size) {
    ExifDataPtr data = load_from_window(bytes, size);
    return data ? std::move(data) : load_from_block(codec::tiff_exif_block(bytes, size));
}

ExifDataPtr load_from_tiff(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return nullptr;
    std::vector<unsigned char> window(kTiffWindow);
    file.read(reinterpret_cast<char*>(window.data()), kTiffWindow);
    const auto size = static_cast<std::size_t>(file.gcount());
    if (ExifDataPtr data = load_from_window(window.data(), size)) return data;
    std::vector<unsigned char> whole;  // read whole only for a TIFF whose window holds no EXIF
    if (!has_tiff_header(window.data(), size) || !output::read_file(path, whole)) return nullptr;
    return load_from_block(codec::tiff_exif_block(whole.data(), whole.size()));
}

// The loader's result, or else the TIFF route's (computed only when needed).
LoadedExif loader_or_tiff(ExifDataPtr from_loader, const std::function<ExifDataPtr()>& from_tiff) {
    LoadedExif loaded;
    loaded.data = std::move(from_loader);
    if (!loaded.data) {
        loaded.data = from_tiff();
        loaded.from_tiff = static_cast<bool>(loaded.data);
    }
    return loaded;
}

}  // namespace

LoadedExif load_exif_data(const std::string& path) {
    return loader_or_tiff(load_with_loader(path), [&] { return load_from_tiff(path); });
}

LoadedExif load_exif_data(const unsigned char* bytes, std::size_t size) {
    if (!bytes) return {};
    return loader_or_tiff(load_with_loader(bytes, size), [&] { return load_from_tiff(bytes, size); });
}

bool entry_holds(const ExifEntry* entry, ExifFormat format, unsigned count) {
    return entry && entry->data && entry->format == format && entry->components >= count &&
           entry->size >= count * exif_format_get_size(format);
}

}  // namespace vornalix::metadata
