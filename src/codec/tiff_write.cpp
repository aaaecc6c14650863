// TIFF through libtiff into memory: LZW with the horizontal predictor in
// strips of about 8 KiB, as OpenCV's writer made them, the profile in the
// ICC tag and the EXIF block's shot description in the first directory and an
// EXIF directory of its own.

#include "codec/exif_data.h"
#include "codec/image_write.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <string>

#include <tiffio.h>

namespace vornalix::codec {

namespace {

constexpr size_t kStripBytes = 1 << 13;
// The first directory's text tags that describe the shot: description, make,
// model, software, date, artist and copyright.
constexpr ExifTag kShotText[] = {EXIF_TAG_IMAGE_DESCRIPTION, EXIF_TAG_MAKE,   EXIF_TAG_MODEL,    EXIF_TAG_SOFTWARE,
                                 EXIF_TAG_DATE_TIME,         EXIF_TAG_ARTIST, EXIF_TAG_COPYRIGHT};

// A growable file in memory for libtiff's client interface.
struct MemoryFile {
    Bytes& data;
    toff_t position = 0;
};

MemoryFile& file_of(thandle_t handle) { return *static_cast<MemoryFile*>(handle); }

tmsize_t read_memory(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryFile& f = file_of(handle);
    if (f.position >= f.data.size()) return 0;
    const size_t n = std::min(static_cast<size_t>(size), static_cast<size_t>(f.data.size() - f.position));
    std::memcpy(buffer, f.data.data() + f.position, n);
    f.position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t write_memory(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryFile& f = file_of(handle);
    const auto n = static_cast<size_t>(size);
    if (f.position + n > f.data.size()) f.data.resize(f.position + n);
    std::memcpy(f.data.data() + f.position, buffer, n);
    f.position += n;
    return size;
}

toff_t seek_memory(thandle_t handle, toff_t offset, int whence) {
    MemoryFile& f = file_of(handle);
    const toff_t base = whence == SEEK_CUR ? f.position : whence == SEEK_END ? f.data.size() : 0;
    f.position = base + offset;
    return f.position;
}

int close_memory(thandle_t) { return 0; }
toff_t size_of_memory(thandle_t handle) { return file_of(handle).data.size(); }
int no_map(thandle_t, void**, toff_t*) { return 0; }
void no_unmap(thandle_t, void*, toff_t) {}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
struct OptionsFreer {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

// Per-file handlers: failures are reported through the result, never printed,
// and libtiff's process-wide handlers are left alone.
int stay_quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

std::unique_ptr<TIFF, TiffCloser> open_in_memory(MemoryFile& file) {
    std::unique_ptr<TIFFOpenOptions, OptionsFreer> options(TIFFOpenOptionsAlloc());
    if (!options) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), stay_quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), stay_quiet, nullptr);
    return std::unique_ptr<TIFF, TiffCloser>(TIFFClientOpenExt("memory", "w", &file, read_memory, write_memory,
                                                               seek_memory, close_memory, size_of_memory,
                                                               no_map, no_unmap, options.get()));
}

bool write_fields(TIFF* tiff, const cv::Mat& pixels, const Bytes& icc) {
    const int channels = pixels.channels();
    const int bits = pixels.depth() == CV_16U ? 16 : 8;
    const size_t row_bytes = pixels.cols * static_cast<size_t>(channels) * bits / 8;
    const auto rows_per_strip = static_cast<uint32_t>(
        std::clamp<size_t>(kStripBytes / std::max<size_t>(row_bytes, 1), 1, pixels.rows));
    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(pixels.cols)) &&
              TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(pixels.rows)) &&
              TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bits) &&
              TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, channels) &&
              TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK) &&
              TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
              TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) &&
              TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rows_per_strip) &&
              TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    if (ok && channels == 4) {
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        ok = TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (ok && !icc.empty())
        ok = TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(icc.size()), icc.data());
    return ok;
}

// One component of an entry as a number, in the block's byte order.
double component(const ExifEntry& e, unsigned i, ExifByteOrder order) {
    const unsigned char* at = e.data + i * exif_format_get_size(e.format);
    switch (e.format) {
        case EXIF_FORMAT_SHORT: return exif_get_short(at, order);
        case EXIF_FORMAT_SSHORT: return exif_get_sshort(at, order);
        case EXIF_FORMAT_LONG: return exif_get_long(at, order);
        case EXIF_FORMAT_SLONG: return exif_get_slong(at, order);
        case EXIF_FORMAT_RATIONAL: {
            const ExifRational r = exif_get_rational(at, order);
            return r.denominator ? static_cast<double>(r.numerator) / r.denominator : 0.0;
        }
        case EXIF_FORMAT_SRATIONAL: {
            const ExifSRational r = exif_get_srational(at, order);
            return r.denominator ? static_cast<double>(r.numerator) / r.denominator : 0.0;
        }
        default: return at[0];
    }
}

// Hands libtiff the values the way the field takes them: a count first for
// variable-length fields, a single value by value, else an array.
template <typename T>
bool set_values(TIFF* tiff, const TIFFField* field, const std::vector<T>& values) {
    const uint32_t tag = TIFFFieldTag(field);
    const int expected = TIFFFieldReadCount(field);
    if (TIFFFieldPassCount(field))
        return expected == TIFF_VARIABLE2 ? TIFFSetField(tiff, tag, static_cast<uint32_t>(values.size()), values.data())
                                          : TIFFSetField(tiff, tag, static_cast<int>(values.size()), values.data());
    if (expected == 1 && values.size() == 1) return TIFFSetField(tiff, tag, values[0]);
    return expected == static_cast<int>(values.size()) && TIFFSetField(tiff, tag, values.data());
}

template <typename T>
std::vector<T> numbers_of(const ExifEntry& e, ExifByteOrder order) {
    std::vector<T> values(e.components);
    for (unsigned i = 0; i < e.components; ++i) values[i] = static_cast<T>(component(e, i, order));
    return values;
}

// Copies one entry into the current directory when libtiff knows its tag;
// what it cannot take is left out.
void copy_entry(TIFF* tiff, const ExifEntry& e, ExifByteOrder order) {
    const TIFFField* field = TIFFFindField(tiff, e.tag, TIFF_ANY);
    if (!field || !e.data || e.components == 0 || e.tag == EXIF_TAG_MAKER_NOTE) return;
    const size_t size = exif_format_get_size(e.format) * static_cast<size_t>(e.components);
    if (size > e.size) return;
    switch (TIFFFieldDataType(field)) {
        case TIFF_ASCII: {
            const auto* chars = reinterpret_cast<const char*>(e.data);
            TIFFSetField(tiff, e.tag, std::string(chars, strnlen(chars, e.size)).c_str());
            return;
        }
        case TIFF_BYTE: case TIFF_UNDEFINED: case TIFF_SBYTE:
            set_values(tiff, field, std::vector<uint8_t>(e.data, e.data + e.size));
            return;
        case TIFF_SHORT: set_values(tiff, field, numbers_of<uint16_t>(e, order)); return;
        case TIFF_SSHORT: set_values(tiff, field, numbers_of<int16_t>(e, order)); return;
        case TIFF_LONG: set_values(tiff, field, numbers_of<uint32_t>(e, order)); return;
        case TIFF_SLONG: set_values(tiff, field, numbers_of<int32_t>(e, order)); return;
        case TIFF_RATIONAL: case TIFF_SRATIONAL: case TIFF_FLOAT: case TIFF_DOUBLE:
            if (TIFFFieldSetGetSize(field) == sizeof(float))
                set_values(tiff, field, numbers_of<float>(e, order));
            else
                set_values(tiff, field, numbers_of<double>(e, order));
            return;
        default: return;
    }
}

// The shot's text tags go into the first directory.
void copy_shot_text(TIFF* tiff, const ExifData& data) {
    const ExifByteOrder order = exif_data_get_byte_order(const_cast<ExifData*>(&data));
    for (const ExifTag tag : kShotText)
        if (const ExifEntry* e = exif_content_get_entry(data.ifd[EXIF_IFD_0], tag)) copy_entry(tiff, *e, order);
}

bool has_exif_directory(const ExifData* data) {
    return data && data->ifd[EXIF_IFD_EXIF] && data->ifd[EXIF_IFD_EXIF]->count > 0;
}

// Writes the EXIF directory and returns its offset, 0 on failure.
uint64_t write_exif_directory(TIFF* tiff, const ExifData& data) {
    const ExifContent* content = data.ifd[EXIF_IFD_EXIF];
    if (TIFFCreateEXIFDirectory(tiff) != 0) return 0;
    const ExifByteOrder order = exif_data_get_byte_order(const_cast<ExifData*>(&data));
    for (unsigned i = 0; i < content->count; ++i) copy_entry(tiff, *content->entries[i], order);
    uint64_t offset = 0;
    return TIFFWriteCustomDirectory(tiff, &offset) ? offset : 0;
}

// After the image's directory is written: the EXIF directory, then the
// image's directory again with the pointer to it (its place was held by a
// zero pointer so the rewrite fits).
bool link_exif_directory(TIFF* tiff, const ExifData& data) {
    const uint64_t offset = write_exif_directory(tiff, data);
    return offset && TIFFSetDirectory(tiff, 0) && TIFFSetField(tiff, TIFFTAG_EXIFIFD, offset) &&
           TIFFWriteDirectory(tiff);
}

}  // namespace

bool encode_tiff(const EncodeRequest& request, Bytes& out) {
    const cv::Mat& pixels = request.pixels;
    if (pixels.depth() != CV_8U && pixels.depth() != CV_16U) return false;
    MemoryFile file{out};
    bool ok = false;
    {
        const auto tiff = open_in_memory(file);
        const auto exif = parse_exif(request.exif);
        ok = tiff && write_fields(tiff.get(), pixels, request.icc);
        if (ok && exif) copy_shot_text(tiff.get(), *exif);
        if (ok && has_exif_directory(exif.get())) ok = TIFFSetField(tiff.get(), TIFFTAG_EXIFIFD, uint64_t{0});
        // libtiff's encoders take a non-const row and may scribble on it: give them a copy.
        cv::Mat row;
        for (int y = 0; ok && y < pixels.rows; ++y) {
            pixels.row(y).copyTo(row);
            ok = TIFFWriteScanline(tiff.get(), row.ptr(), static_cast<uint32_t>(y), 0) == 1;
        }
        ok = ok && TIFFWriteDirectory(tiff.get());
        if (ok && has_exif_directory(exif.get())) ok = link_exif_directory(tiff.get(), *exif);
    }
    if (!ok) out.clear();
    return ok;
}

}  // namespace vornalix::codec
