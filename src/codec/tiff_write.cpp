// TIFF through libtiff into memory: LZW with the horizontal predictor in
// strips of about 8 KiB, as OpenCV's writer made them, and the profile in
// the ICC tag.

#include "codec/image_write.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>

#include <tiffio.h>

namespace vornalix::codec {

namespace {

constexpr size_t kStripBytes = 1 << 13;

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

}  // namespace

bool encode_tiff(const EncodeRequest& request, Bytes& out) {
    const cv::Mat& pixels = request.pixels;
    if (pixels.depth() != CV_8U && pixels.depth() != CV_16U) return false;
    MemoryFile file{out};
    bool ok = false;
    {
        const auto tiff = open_in_memory(file);
        ok = tiff && write_fields(tiff.get(), pixels, request.icc);
        // libtiff's encoders take a non-const row and may scribble on it: give them a copy.
        cv::Mat row;
        for (int y = 0; ok && y < pixels.rows; ++y) {
            pixels.row(y).copyTo(row);
            ok = TIFFWriteScanline(tiff.get(), row.ptr(), static_cast<uint32_t>(y), 0) == 1;
        }
        ok = ok && TIFFWriteDirectory(tiff.get());
    }
    if (!ok) out.clear();
    return ok;
}

}  // namespace vornalix::codec
