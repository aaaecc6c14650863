// Copying, stripping and writing the EXIF segment of JPEG files. Every
// rewrite goes through the atomic file writer: the target is replaced only
// by a complete new file.

#include "metadata/exif.h"
#include "metadata/exif_source.h"
#include "output/file_io.h"

#include <libexif/exif-utils.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace vornalix::metadata {

namespace {

// Tags of a RAW file's first IFD that describe its embedded image data and
// mean nothing in the EXIF block of another file.
constexpr ExifTag kImageStructureTags[] = {
    EXIF_TAG_IMAGE_WIDTH,       EXIF_TAG_IMAGE_LENGTH,      EXIF_TAG_BITS_PER_SAMPLE,
    EXIF_TAG_COMPRESSION,       EXIF_TAG_PHOTOMETRIC_INTERPRETATION,
    EXIF_TAG_STRIP_OFFSETS,     EXIF_TAG_SAMPLES_PER_PIXEL, EXIF_TAG_ROWS_PER_STRIP,
    EXIF_TAG_STRIP_BYTE_COUNTS, EXIF_TAG_PLANAR_CONFIGURATION,
    static_cast<ExifTag>(0x0142) /* TileWidth */,  static_cast<ExifTag>(0x0143) /* TileLength */,
    static_cast<ExifTag>(0x0144) /* TileOffsets */, static_cast<ExifTag>(0x0145) /* TileByteCounts */,
    static_cast<ExifTag>(0x014A) /* SubIFDs */};

constexpr unsigned short kOrientationUpright = 1;
// EXIF knows only sRGB; every other space is "uncalibrated".
constexpr unsigned short kColourSpaceSrgb = 1;
constexpr unsigned short kColourSpaceUncalibrated = 0xFFFF;
constexpr unsigned kMaxShort = 65535;

void remove_tag(ExifContent* content, ExifTag tag) {
    if (ExifEntry* entry = exif_content_get_entry(content, tag)) exif_content_remove_entry(content, entry);
}

void clear_content(ExifContent* content) {
    while (content->count > 0) exif_content_remove_entry(content, content->entries[content->count - 1]);
}

// The pixels written by the library are already upright.
void set_orientation_upright(ExifData* data) {
    ExifContent* ifd0 = data->ifd[EXIF_IFD_0];
    ExifEntry* entry = exif_content_get_entry(ifd0, EXIF_TAG_ORIENTATION);
    if (!entry) return;
    if (entry_holds(entry, EXIF_FORMAT_SHORT, 1))
        exif_set_short(entry->data, exif_data_get_byte_order(data), kOrientationUpright);
    else
        exif_content_remove_entry(ifd0, entry);  // malformed: a reader might still turn the picture
}

// A RAW file's own TIFF structure: keep the camera metadata, drop what
// describes the RAW's embedded images (including its thumbnail IFD).
void drop_raw_image_structure(ExifData* data) {
    for (ExifTag tag : kImageStructureTags) remove_tag(data->ifd[EXIF_IFD_0], tag);
    clear_content(data->ifd[EXIF_IFD_1]);
    if (data->data) {
        std::free(data->data);
        data->data = nullptr;
        data->size = 0;
    }
}

Bytes serialise(ExifData* data) {
    unsigned char* buffer = nullptr;
    unsigned int size = 0;
    exif_data_save_data(data, &buffer, &size);
    Bytes block;
    if (buffer) block.assign(buffer, buffer + size);
    std::free(buffer);
    return block;
}

bool add_entry(ExifData* data, ExifIfd ifd, ExifTag tag, ExifFormat format, unsigned long components,
               const void* bytes, unsigned int size) {
    ExifMem* mem = exif_mem_new_default();
    if (!mem) return false;
    ExifEntry* entry = exif_entry_new_mem(mem);
    void* storage = exif_mem_alloc(mem, size);
    const bool ok = entry && storage;
    if (ok) {
        std::memcpy(storage, bytes, size);
        entry->data = static_cast<unsigned char*>(storage);
        entry->size = size;
        entry->tag = tag;
        entry->format = format;
        entry->components = components;
        exif_content_add_entry(data->ifd[ifd], entry);
    } else if (storage) {
        exif_mem_free(mem, storage);
    }
    if (entry) exif_entry_unref(entry);
    exif_mem_unref(mem);
    return ok;
}

bool insert_into_file(const std::string& path, const Bytes& block) {
    Bytes jpeg;
    if (block.empty() || !output::read_file(path, jpeg)) return false;
    if (!insert_app1(jpeg, block)) return false;
    return output::write_file_atomically(path, jpeg);
}

// `tag` in `ifd` replaced by one SHORT or LONG holding `value`.
void replace_number(ExifData* data, ExifIfd ifd, ExifTag tag, ExifFormat format, unsigned value) {
    remove_tag(data->ifd[ifd], tag);
    unsigned char bytes[4];
    const ExifByteOrder order = exif_data_get_byte_order(data);
    if (format == EXIF_FORMAT_SHORT)
        exif_set_short(bytes, order, static_cast<ExifShort>(value));
    else
        exif_set_long(bytes, order, value);
    add_entry(data, ifd, tag, format, 1, bytes, exif_format_get_size(format));
}

// The ColorSpace entry replaced by one saying what the written pixels are.
void set_colour_space(ExifData* data, bool srgb_pixels) {
    replace_number(data, EXIF_IFD_EXIF, EXIF_TAG_COLOR_SPACE, EXIF_FORMAT_SHORT,
                   srgb_pixels ? kColourSpaceSrgb : kColourSpaceUncalibrated);
}

// The written picture's size in PixelX/YDimension, and in ImageWidth/Length
// where the block has them: the camera's size is not the copy's.
void set_pixel_size(ExifData* data, int width, int height) {
    const auto set = [&](ExifIfd ifd, ExifTag w_tag, ExifTag h_tag) {
        replace_number(data, ifd, w_tag, EXIF_FORMAT_LONG, static_cast<unsigned>(width));
        replace_number(data, ifd, h_tag, EXIF_FORMAT_LONG, static_cast<unsigned>(height));
    };
    set(EXIF_IFD_EXIF, EXIF_TAG_PIXEL_X_DIMENSION, EXIF_TAG_PIXEL_Y_DIMENSION);
    if (exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_IMAGE_WIDTH) ||
        exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_IMAGE_LENGTH))
        set(EXIF_IFD_0, EXIF_TAG_IMAGE_WIDTH, EXIF_TAG_IMAGE_LENGTH);
}

// What an export knows of its pixels: their space and size.
struct WrittenPixels {
    bool srgb;
    int width, height;
};

// `written`, when given, decides the ColorSpace and pixel-size entries.
Bytes block_for_copy(LoadedExif loaded, std::optional<WrittenPixels> written = std::nullopt) {
    if (!loaded.data) return {};
    if (loaded.from_tiff) drop_raw_image_structure(loaded.data.get());
    set_orientation_upright(loaded.data.get());
    if (written) {
        set_colour_space(loaded.data.get(), written->srgb);
        set_pixel_size(loaded.data.get(), written->width, written->height);
    }
    return serialise(loaded.data.get());
}

}  // namespace

Bytes exif_block_for_copy(const std::string& path) { return block_for_copy(load_exif_data(path)); }

Bytes exif_block_for_copy(const unsigned char* bytes, std::size_t size) {
    return block_for_copy(load_exif_data(bytes, size));
}

Bytes exif_block_for_export(const std::string& path, bool srgb_pixels, int width, int height) {
    return block_for_copy(load_exif_data(path), WrittenPixels{srgb_pixels, width, height});
}

bool copy_exif(const std::string& src_path, const std::string& dst_path) {
    return insert_into_file(dst_path, exif_block_for_copy(src_path));
}

bool strip_exif(const std::string& path) {
    Bytes original;
    if (!output::read_file(path, original)) return false;
    Bytes stripped = original;
    if (!strip_app1(stripped)) return false;
    if (stripped == original) return true;  // nothing to drop: leave the file as it is
    return output::write_file_atomically(path, stripped);
}

bool write_exif(const std::string& path, const VornalixExif& exif) {
    ExifDataPtr data(exif_data_new());
    if (!data) return false;
    exif_data_set_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_data_type(data.get(), EXIF_DATA_TYPE_COMPRESSED);
    exif_data_fix(data.get());
    const ExifByteOrder order = exif_data_get_byte_order(data.get());

    // A record filled without a terminating NUL still gives at most 63 characters.
    char make[sizeof exif.make] = {};
    std::memcpy(make, exif.make, sizeof make - 1);
    const auto make_size = static_cast<unsigned int>(std::strlen(make) + 1);
    if (!add_entry(data.get(), EXIF_IFD_0, EXIF_TAG_MAKE, EXIF_FORMAT_ASCII, make_size, make, make_size))
        return false;

    if (exif.iso >= 1) {
        // ISO speeds beyond the SHORT range are recorded as 65535, as EXIF prescribes.
        unsigned char iso[2];
        exif_set_short(iso, order, static_cast<ExifShort>(std::min<unsigned>(exif.iso, kMaxShort)));
        if (!add_entry(data.get(), EXIF_IFD_EXIF, EXIF_TAG_ISO_SPEED_RATINGS, EXIF_FORMAT_SHORT, 1, iso,
                       sizeof iso))
            return false;
    }
    return insert_into_file(path, serialise(data.get()));
}

}  // namespace vornalix::metadata
